#include "tests/fetch/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qorvex::testing {
namespace {

constexpr int kPollMs = 20;
constexpr size_t kMaxRequestBytes = 8u << 20;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view HeaderName(std::string_view line) {
  return line.substr(0, line.find(':'));
}

RawRequest Parse(const std::string& bytes, size_t headerEnd) {
  RawRequest request;
  request.bytes = bytes;
  std::string_view head(bytes.data(), headerEnd);
  bool first = true;
  while (!head.empty()) {
    const size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    if (first) {
      request.requestLine = line;
      first = false;
    } else {
      request.headerLines.emplace_back(line);
    }
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
  }
  request.body = bytes.substr(headerEnd + 4);
  return request;
}

}  // namespace

std::vector<std::string> RawRequest::Lines(std::string_view name) const {
  std::vector<std::string> found;
  for (const std::string& line : headerLines) {
    if (EqualIgnoringCase(HeaderName(line), name)) found.push_back(line);
  }
  return found;
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listenFd_, 128) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::abort();
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

RawServer::~RawServer() {
  stop_.store(true);
  thread_.join();
  ::close(listenFd_);
}

std::string RawServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RawRequest> RawServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RawServer::Run() {
  // One connection at a time is enough here: every client closes its connection after a reply.
  while (!stop_.load()) {
    pollfd waiting{listenFd_, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMs) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Serve(fd);
    ::close(fd);
  }
}

void RawServer::Serve(int fd) {
  std::string bytes;
  size_t headerEnd = std::string::npos;
  size_t wanted = 0;
  char chunk[65536];
  for (;;) {
    if (headerEnd == std::string::npos) {
      headerEnd = bytes.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        const RawRequest head = Parse(bytes, headerEnd);
        const auto lengths = head.Lines("Content-Length");
        const size_t body =
            lengths.empty() ? 0 : std::strtoul(lengths.back().c_str() + 15, nullptr, 10);
        wanted = headerEnd + 4 + body;
      }
    }
    if (headerEnd != std::string::npos && bytes.size() >= wanted) break;
    if (stop_.load() || bytes.size() > kMaxRequestBytes) return;
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, kPollMs) <= 0) continue;
    const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
    if (got <= 0) return;
    bytes.append(chunk, static_cast<size_t>(got));
  }

  const RawRequest request = Parse(bytes, headerEnd);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  const std::optional<std::string> reply = handler_(request);
  if (!reply) {
    // Hold the connection silently until the client gives up or the test ends.
    while (!stop_.load()) {
      pollfd readable{fd, POLLIN, 0};
      if (::poll(&readable, 1, kPollMs) > 0 && ::recv(fd, chunk, sizeof(chunk), 0) <= 0) return;
    }
    return;
  }
  size_t sent = 0;
  while (sent < reply->size() && !stop_.load()) {
    // Bounded pieces: a sanitizer checks the whole range handed to each call.
    const size_t piece = std::min<size_t>(reply->size() - sent, 256 * 1024);
    const ssize_t n = ::send(fd, reply->data() + sent, piece, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
}

std::string Reply(std::string_view status, std::string_view extraHeaders, std::string_view body) {
  std::string reply = "HTTP/1.1 " + std::string(status) + "\r\n";
  reply += extraHeaders;
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  reply += body;
  return reply;
}

}  // namespace qorvex::testing
