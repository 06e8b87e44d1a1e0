#include <curl/curl.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "fetch/fetch.h"
#include "fetch/fetch_internal.h"

namespace qorvex {
namespace {

constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";

// The process-wide cookie store (with the name and TLS session caches) that every transfer
// shares. libcurl serialises access through these callbacks, one mutex per kind of data. The
// connection cache is deliberately not shared: libcurl does not make that thread-safe.
// Never destroyed: abandoned transfers may still be using it when the process ends.
std::once_flag gInitOnce;
CURLSH* gShare = nullptr;
std::mutex gShareLocks[CURL_LOCK_DATA_LAST];

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  gShareLocks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) {
  gShareLocks[data].unlock();
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What the callbacks of one transfer fill in. Only the transfer's own thread touches it.
struct Exchange {
  const std::atomic<bool>* cancel = nullptr;
  ByteBuffer body;
  Text headerBlock;  // the latest reply's status line and header lines
  bool blockEnded = false;
  size_t headerBytes = 0;  // over the whole exchange, so endless interim replies stay bounded
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const size_t length = size * count;
  if (length > kMaxBodyBytes - exchange->body.size()) return 0;  // fails the transfer
  exchange->body.insert(exchange->body.end(), data, data + length);
  return length;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const size_t length = size * count;
  exchange->headerBytes += length;
  if (exchange->headerBytes > kMaxHeaderBytes) return 0;
  if (std::memchr(data, 0, length) != nullptr) return 0;  // would cut the text short
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  // Each reply of a redirect chain (and each interim reply) starts a fresh block.
  if (line.starts_with("HTTP/")) {
    exchange->headerBlock.clear();
    exchange->blockEnded = false;
  }
  if (exchange->blockEnded) return length;  // trailers after a chunked body
  if (line.empty()) {
    exchange->blockEnded = true;
    return length;
  }
  exchange->headerBlock.append(line);
  exchange->headerBlock.append("\r\n");
  return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* exchange = static_cast<const Exchange*>(user);
  return exchange->cancel != nullptr && exchange->cancel->load() ? 1 : 0;
}

bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  for (unsigned char c : host) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool HasControlBytes(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Hands every cookie of the final reply to the store once more, for the host and path the
// reply came from. The lines match what the store made of the same header itself, so they
// replace those entries instead of adding second copies.
void StoreCookies(CURL* easy, const Text& headerBlock) {
  if (FindText(headerBlock, "Set-Cookie: ", 1, true) < 0) return;
  char* effective = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
  if (effective == nullptr) return;
  const Text host = UrlHost(effective, false);
  const Text path = UrlPath(effective);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (Text line : SplitText(headerBlock, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (FindText(line, "Set-Cookie: ", 1, true) < 0) continue;
    const Text entry = CookieListLine(line, host, path, now);
    if (!entry.empty()) curl_easy_setopt(easy, CURLOPT_COOKIELIST, entry.c_str());
  }
}

}  // namespace

void FetchGlobalInit() {
  std::call_once(gInitOnce, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    gShare = curl_share_init();
    if (gShare == nullptr) return;
    curl_share_setopt(gShare, CURLSHOPT_LOCKFUNC, LockShare);
    curl_share_setopt(gShare, CURLSHOPT_UNLOCKFUNC, UnlockShare);
    curl_share_setopt(gShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(gShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(gShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  });
}

void ForgetAllCookies() {
  FetchGlobalInit();
  EasyHandle easy(curl_easy_init());
  if (!easy || gShare == nullptr) return;
  curl_easy_setopt(easy.get(), CURLOPT_SHARE, gShare);
  curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
}

void HttpTransaction(FetchRecord* record, const std::atomic<bool>* cancel) {
  HttpTransaction(record, cancel, 0);
}

void HttpTransaction(FetchRecord* record, const std::atomic<bool>* cancel, long maxMilliseconds) {
  if (record == nullptr) return;
  record->Rewind();
  if (record->ReadText() != "Quillon") {
    record->Rewind();
    return;
  }
  const Text url = record->ReadText();
  const Text verb = record->ReadText();
  const Text proxy = record->ReadText();
  const Text user = record->ReadText();
  const Text password = record->ReadText();
  const Text headers = record->ReadText();
  const Text body = record->ReadText();
  record->Clear();

  const Text upperVerb = ToUpper(verb);
  const bool isPost = upperVerb == "POST";
  if (!isPost && !upperVerb.empty() && upperVerb != "GET") return;

  // A control byte in the URL would end up inside the Referer line and split it.
  if (HasControlBytes(url)) return;
  const UrlParts parts = SplitUrlStart(url);
  const Text host = UrlHost(url, false);
  int port = UrlPort(url);
  if (!IsHostName(host) || port < 0 || port > 65535) return;
  // Port 0 (a colon without digits) asks for the scheme's default port.
  const Text target = ConcatText({parts.secure ? "https://" : "http://", host, port == 0 ? "" : ":",
                                  port == 0 ? "" : IntegerToText(port), UrlPath(url)});

  Text headerText = headers;
  const auto present = [&headerText](std::string_view name) {
    return FindText(headerText, name, 1, true) > 0;
  };
  const bool ownAccept = !present("Accept: ");
  if (ownAccept) headerText += kAcceptLine;
  if (!present("Referer: ")) headerText += ConcatText({"Referer: ", url, "\r\n"});
  if (!present("Accept-Language: ")) headerText += "Accept-Language: zh-cn\r\n";
  if (isPost && !body.empty()) {
    if (!present("Content-Type: ")) {
      headerText += "Content-Type: application/x-www-form-urlencoded\r\n";
    }
    headerText += ConcatText({"Content-Length: ", IntegerToText(TextLength(body)), "\r\n"});
  }

  FetchGlobalInit();
  EasyHandle easy(curl_easy_init());
  if (!easy) return;

  // libcurl adds headers of its own unless a line of the same name is in the list; a name
  // with nothing after the colon suppresses one without sending anything.
  HeaderList list;
  const auto add = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) return false;
    list.release();
    list.reset(grown);
    return true;
  };
  bool listOk = true;
  for (Text line : SplitText(headerText, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) listOk = add(line) && listOk;
  }
  if (!ownAccept) listOk = add("Accept:") && listOk;
  listOk = add("Expect:") && listOk;
  if (isPost && body.empty()) listOk = add("Content-Type:") && add("Content-Length:") && listOk;
  if (!listOk) return;

  Exchange exchange;
  exchange.cancel = cancel;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, target.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  if (gShare != nullptr) curl_easy_setopt(h, CURLOPT_SHARE, gShare);
  curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
  // The proxy serves plain HTTP only; "" also keeps proxy settings of the environment out.
  const bool useProxy = !IsBlank(proxy) && !parts.secure;
  curl_easy_setopt(h, CURLOPT_PROXY, useProxy ? proxy.c_str() : "");
  if (!IsBlank(user)) curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
  if (!IsBlank(password)) curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
  if (!IsBlank(user) || !IsBlank(password)) {
    // Credentials answer a challenge; they are not sent before the server asks.
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST | CURLAUTH_NTLM);
  }
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  if (maxMilliseconds > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, maxMilliseconds);
  if (isPost) {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
  }
  // The verb goes out as written, lower case included.
  if (!verb.empty() && verb != upperVerb) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());

  // A transfer that did not complete (no connection, cut short, over a size bound, cancelled)
  // leaves no reply, so a broken page is never taken for a whole one.
  if (curl_easy_perform(h) != CURLE_OK) return;

  record->WriteText("Quillon_OK");
  record->WriteText(exchange.headerBlock);
  record->WriteBytes(exchange.body);

  StoreCookies(h, exchange.headerBlock);
}

}  // namespace qorvex
