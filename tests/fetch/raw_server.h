// A loopback HTTP server for tests that sees and answers raw bytes: it records every request
// exactly as it arrived and sends whatever the test scripts, well-formed or not.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qorvex::testing {

/// One request as received: the request line, the header lines in order and the body.
struct RawRequest {
  std::string bytes;
  std::string requestLine;
  std::vector<std::string> headerLines;
  std::string body;

  /// The header lines whose name matches (ignoring case).
  std::vector<std::string> Lines(std::string_view name) const;
};

class RawServer {
 public:
  /// The bytes to send back for a request (the connection is closed after them), or nullopt to
  /// keep the connection open and never answer.
  using Handler = std::function<std::optional<std::string>(const RawRequest& request)>;

  explicit RawServer(Handler handler);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int Port() const { return port_; }
  /// "http://127.0.0.1:<port>" followed by path.
  std::string Url(std::string_view path) const;
  std::vector<RawRequest> Requests() const;

 private:
  void Run();
  void Serve(int fd);

  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<RawRequest> requests_;  // guarded by mutex_
  std::thread thread_;
};

/// A complete reply with Content-Length and Connection: close; extraHeaders are whole lines,
/// each ending in CR LF.
std::string Reply(std::string_view status, std::string_view extraHeaders, std::string_view body);

}  // namespace qorvex::testing
