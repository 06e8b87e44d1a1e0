// Fetching a page: one HTTP exchange with the system's browser identity (HttpTransaction), run
// on a transfer thread of its own under a time limit (TimedFetch).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace qorvex {

/// The request and reply record shared by a fetch and its transfer thread: a byte stream of
/// fields. A Text field is its bytes and one zero byte; a ByteBuffer field is a 4-byte
/// little-endian length and its bytes. Reading past the end gives empty fields.
class FetchRecord {
 public:
  void WriteText(std::string_view text);
  void WriteBytes(const ByteBuffer& bytes);
  Text ReadText();
  ByteBuffer ReadBytes();
  /// Back to position 0 for reading.
  void Rewind() { position_ = 0; }
  /// Empties the record.
  void Clear();
  bool Empty() const { return data_.empty(); }

 private:
  std::vector<unsigned char> data_;
  size_t position_ = 0;
};

/// Prepares the HTTP stack (global init, the process-wide cookie store). Front ends call it at
/// start, before any worker thread exists; TimedFetch calls it too, and later calls do nothing.
void FetchGlobalInit();

/// The host of a URL in lower case ("http://" or "https://" skipped), with ":port" when keepPort.
Text UrlHost(std::string_view url, bool keepPort);
/// Path and query, "/" when there is none.
Text UrlPath(std::string_view url);
/// The port: as written, else 80 (443 for https://); 0 when the text after ':' holds no number.
int UrlPort(std::string_view url);

/// One HTTP exchange: reads the request out of the record and leaves the reply in it, or an
/// empty record on failure. Stops early when cancel becomes true.
void HttpTransaction(FetchRecord* record, const std::atomic<bool>* cancel = nullptr);
/// HttpTransaction that also gives up once maxMilliseconds have passed (0: no bound of its own).
void HttpTransaction(FetchRecord* record, const std::atomic<bool>* cancel, long maxMilliseconds);

/// Fetches url on a transfer thread of its own and waits at most the limit (timeoutSeconds;
/// 0 or negative means 90 seconds). Returns the reply body, or empty on failure or run-out;
/// an abandoned transfer is cancelled and never touches the caller's data again.
ByteBuffer TimedFetch(const Text& url, const Text& verb = {}, const Text& proxy = {},
                      const Text& user = {}, const Text& password = {}, const Text& headers = {},
                      const Text& body = {}, int timeoutSeconds = 0, Text* rawHeadersOut = nullptr);

/// Transfer threads that have not ended yet (abandoned ones included).
int RunningTransfers();

}  // namespace qorvex
