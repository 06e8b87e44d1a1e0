#include "fetch/fetch.h"
#include "fetch/fetch_internal.h"

namespace qorvex {

UrlParts SplitUrlStart(std::string_view url) {
  // The scheme is recognised in lower case only, as written; the earlier of the two wins.
  const int plain = FindText(url, "http://", 1, false);
  const int secure = FindText(url, "https://", 1, false);
  UrlParts parts;
  if (secure > 0 && (plain < 0 || secure < plain)) {
    parts.secure = true;
    parts.hostStart = secure + 8;
  } else if (plain > 0) {
    parts.hostStart = plain + 7;
  }
  const int slash = FindText(url, "/", parts.hostStart, false);
  parts.hostEnd = slash > 0 ? slash : TextLength(url) + 1;
  return parts;
}

Text UrlHost(std::string_view url, bool keepPort) {
  const UrlParts parts = SplitUrlStart(url);
  Text host = TextMid(url, parts.hostStart, parts.hostEnd - parts.hostStart);
  if (!keepPort) {
    const int colon = FindText(host, ":", 1, false);
    if (colon > 0) host = TextLeft(host, colon - 1);
  }
  return ToLower(host);
}

Text UrlPath(std::string_view url) {
  // The path starts where the host ends. Searching for the host text from the start of the URL
  // instead would find a short host such as "h" inside the scheme and return "//h/x".
  const UrlParts parts = SplitUrlStart(url);
  if (parts.hostEnd > TextLength(url)) return "/";
  return TextMid(url, parts.hostEnd, TextLength(url) - parts.hostEnd + 1);
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, true);
  const int colon = FindText(host, ":", 1, false);
  if (colon < 0) return SplitUrlStart(url).secure ? 443 : 80;
  return ToInteger(ToNumber(TextMid(host, colon + 1, TextLength(host) - colon)));
}

}  // namespace qorvex
