#include <curl/curl.h>

#include <limits>
#include <string>

#include "fetch/fetch_internal.h"

namespace qorvex {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

bool HasControlBytes(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool ParseSeconds(std::string_view text, int64_t* seconds) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value < std::numeric_limits<int64_t>::max() / 20) value = value * 10 + (c - '0');
  }
  *seconds = negative ? -value : value;
  return true;
}

// The path a cookie without a path attribute belongs to: the request path up to and including
// its last slash, the query left out. The store files cookies by path, so this must match what
// the store itself chose when the same reply passed through it.
std::string DefaultPath(std::string_view requestPath) {
  requestPath = requestPath.substr(0, requestPath.find('?'));
  const size_t slash = requestPath.rfind('/');
  if (slash == std::string_view::npos) return "/";
  return std::string(requestPath.substr(0, slash + 1));
}

}  // namespace

Text CookieListLine(std::string_view headerLine, std::string_view host,
                    std::string_view requestPath, int64_t now) {
  // The name starts 12 bytes in, the length of "Set-Cookie: ", wherever the marker was found.
  const Text rest = TextMid(headerLine, 13, TextLength(headerLine));
  const int equals = FindText(rest, "=", 1, false);
  if (equals < 0) return {};
  const std::string_view restView = rest;
  const std::string_view name = Trim(restView.substr(0, static_cast<size_t>(equals - 1)));
  std::string_view data = restView.substr(static_cast<size_t>(equals));
  const size_t semicolon = data.find(';');
  const std::string_view value = Trim(data.substr(0, semicolon));
  data = semicolon == std::string_view::npos ? std::string_view() : data.substr(semicolon + 1);

  std::string path = DefaultPath(requestPath);
  bool tailMatch = false;
  bool secure = false;
  bool hasMaxAge = false;
  int64_t maxAge = 0;
  int64_t expires = -1;
  while (!data.empty()) {
    const size_t end = data.find(';');
    const std::string_view attribute = Trim(data.substr(0, end));
    data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
    const size_t eq = attribute.find('=');
    const Text key = ToLower(Trim(attribute.substr(0, eq)));
    const std::string_view argument =
        eq == std::string_view::npos ? std::string_view() : Trim(attribute.substr(eq + 1));
    if (key == "path") {
      if (!argument.empty() && argument.front() == '/') path = std::string(argument);
    } else if (key == "domain") {
      std::string_view domain = argument;
      while (!domain.empty() && domain.front() == '.')
        domain.remove_prefix(1);
      // A cookie for a wider domain was judged by the store itself; never widen it here.
      if (ToLower(domain) != host) return {};
      tailMatch = true;
    } else if (key == "max-age") {
      hasMaxAge = ParseSeconds(argument, &maxAge) || hasMaxAge;
    } else if (key == "expires") {
      const std::string date(argument);
      const time_t when = curl_getdate(date.c_str(), nullptr);
      if (when != -1) expires = when;
    } else if (key == "secure") {
      secure = true;
    }
  }

  if (name.empty() || name.size() + value.size() > 4096) return {};
  if (HasControlBytes(name) || HasControlBytes(value) || HasControlBytes(path)) return {};
  if (host.empty() || HasControlBytes(host)) return {};

  // 0 keeps the cookie for the session; 1 is long past, so the store drops the cookie, as a
  // reply that expires a cookie means.
  int64_t expiry = 0;
  if (hasMaxAge) {
    const int64_t latest = std::numeric_limits<int64_t>::max();
    expiry = maxAge <= 0 ? 1 : (maxAge > latest - now ? latest : now + maxAge);
  } else if (expires != -1) {
    expiry = expires <= now ? 1 : expires;
  }

  return ConcatText({host, "\t", tailMatch ? "TRUE" : "FALSE", "\t", path, "\t",
                     secure ? "TRUE" : "FALSE", "\t", IntegerToText(expiry), "\t", name, "\t",
                     value});
}

}  // namespace qorvex
