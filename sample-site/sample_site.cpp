// The site's HTTP server around the generated directory and its pages.
#include "sample-site/sample_site.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>

namespace qorvex {
namespace {

constexpr int kMaxCompanies = 100000;
constexpr int kMaxLatencyMs = 600000;
constexpr const char* kHtml = "text/html; charset=utf-8";

// Digits only; anything else (or an overflow) is reported as not a number.
bool ParseId(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// The page number of a search: missing or unreadable is page 1, past INT_MAX is past the end.
int ParsePage(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec == std::errc::result_out_of_range) return text.empty() || text[0] == '-' ? 1 : INT_MAX;
  if (ec != std::errc() || ptr != end || value < 1) return 1;
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '&') {
      out += "&amp;";
    } else {
      out += c;
    }
  }
  return out;
}

// A number rendered as a small picture, as the real site hides numbers from text scrapers.
std::string NumberPicture(const std::string& text) {
  std::string shown = text.size() > 40 ? text.substr(0, 40) : text;
  int width = 12 + 9 * static_cast<int>(shown.size());
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
         "\" height=\"20\"><text x=\"4\" y=\"15\" font-family=\"monospace\" font-size=\"15\" "
         "fill=\"#c00\">" +
         XmlEscape(shown) + "</text></svg>";
}

// Raises the listen backlog of the bound socket, after making sure it is that socket.
void WidenBacklog(int sock, int port) {
  if (sock < 0) return;
  int listening = 0;
  socklen_t size = sizeof(listening);
  if (getsockopt(sock, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening) return;
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  int boundPort = -1;
  if (address.ss_family == AF_INET) {
    boundPort = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  } else if (address.ss_family == AF_INET6) {
    boundPort = ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  }
  if (boundPort == port) ::listen(sock, SOMAXCONN);
}

std::string NotFoundPage() {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>页面不存在"
         "</title></head><body><p>您访问的页面不存在。<a href=\"/\">返回首页</a></p></body>"
         "</html>\n";
}

}  // namespace

SampleSite::SampleSite(SampleSiteOptions options) : options_(std::move(options)) {
  options_.companies = std::clamp(options_.companies, 0, kMaxCompanies);
  options_.latencyMs = std::clamp(options_.latencyMs, 0, kMaxLatencyMs);
  options_.threads = std::clamp(options_.threads, 8, 1024);
  companies_ = GenerateCompanies(options_.seed, options_.companies);
  InstallRoutes();
}

SampleSite::~SampleSite() {
  Stop();
}

std::string SampleSite::BaseUrl() const {
  return "http://" + options_.host + ":" + std::to_string(Port()) + "/";
}

std::vector<const SampleCompany*> SampleSite::Search(std::string_view keyword,
                                                     std::string_view area) const {
  return SearchCompanies(companies_, keyword, area);
}

const SampleCompany* SampleSite::FindCompany(int id) const {
  // Ids rise with the index.
  auto it = std::lower_bound(companies_.begin(), companies_.end(), id,
                             [](const SampleCompany& c, int value) { return c.id < value; });
  return (it != companies_.end() && it->id == id) ? &*it : nullptr;
}

std::string SampleSite::HostPortOf(const httplib::Request& request) const {
  // The links point back at the address the client used; a Host header that could break out
  // of an attribute is not echoed.
  std::string host = request.get_header_value("Host");
  bool plain = !host.empty() && host.size() <= 255;
  for (char c : host) {
    plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == ':' || c == '[' || c == ']');
  }
  return plain ? host : options_.host + ":" + std::to_string(Port());
}

void SampleSite::ApplyLatency() {
  if (options_.latencyMs <= 0) return;
  // Waits on the stop signal, so that Stop does not wait out every pending delay.
  std::unique_lock<std::mutex> lock(stopMutex_);
  stopSignal_.wait_for(lock, std::chrono::milliseconds(options_.latencyMs),
                       [this] { return stopping_; });
}

void SampleSite::InstallRoutes() {
  const size_t threads = static_cast<size_t>(options_.threads);
  server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server_.set_keep_alive_max_count(100);
  server_.set_keep_alive_timeout(2);
  server_.set_payload_max_length(64 * 1024);
  // The library's default sets SO_REUSEPORT, which would let a second site share a taken port.
  server_.set_socket_options([this](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    // While binding, the last socket tried is the one that got bound.
    if (binding_.load()) listenSocket_.store(static_cast<int>(sock));
  });
  server_.set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
    requestCount_.fetch_add(1);
    ApplyLatency();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 404) response.set_content(NotFoundPage(), kHtml);
  });

  server_.Get("/", [](const httplib::Request&, httplib::Response& response) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>汇商企业名录"
        "</title></head><body><h1>汇商企业名录</h1><form action=\"/scom\" method=\"get\">关键词 "
        "<input name=\"kw\" value=\"手机\"> 地区 <input name=\"area\"> <button "
        "type=\"submit\">搜索公司</button></form><p>示例站点：所有公司与联系方式均为生成数据。</p>"
        "</body></html>\n";
    response.set_content(page, kHtml);
  });

  server_.Get("/scom", [this](const httplib::Request& request, httplib::Response& response) {
    std::string keyword = request.get_param_value("kw");
    std::string area = request.get_param_value("area");
    int page = ParsePage(request.get_param_value("p"));
    response.set_content(
        RenderSearchPage(Search(keyword, area), keyword, area, page, HostPortOf(request)), kHtml);
  });

  server_.Get(
      R"(/qv(\d{1,12}))", [this](const httplib::Request& request, httplib::Response& response) {
        int id = 0;
        const SampleCompany* company = ParseId(request.matches[1], id) ? FindCompany(id) : nullptr;
        if (!company) {
          response.status = 404;
          return;
        }
        response.set_content(RenderCompanyPage(*company, HostPortOf(request)), kHtml);
      });

  server_.Get(R"(/contact(\d{1,12})\.html)", [this](const httplib::Request& request,
                                                    httplib::Response& response) {
    int id = 0;
    const SampleCompany* company = ParseId(request.matches[1], id) ? FindCompany(id) : nullptr;
    if (!company) {
      response.status = 404;
      return;
    }
    response.set_content(RenderContactPage(*company, HostPortOf(request)), kHtml);
  });

  server_.Get(R"(/img/(?:phone|tel|fax)/([^/]{1,64})\.png)",
              [](const httplib::Request& request, httplib::Response& response) {
                response.set_content(NumberPicture(request.matches[1]), "image/svg+xml");
              });
  server_.Get("/img/qq.png", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(NumberPicture("QQ"), "image/svg+xml");
  });
}

bool SampleSite::Start() {
  if (started_) return false;
  if (options_.port < 0 || options_.port > 65535) return false;
  binding_.store(true);
  int port = options_.port;
  bool bound = false;
  if (port == 0) {
    port = server_.bind_to_any_port(options_.host);
    bound = port > 0;
  } else {
    bound = server_.bind_to_port(options_.host, port);
  }
  binding_.store(false);
  if (!bound) return false;
  // The library listens with a backlog of 5; fifty workers connecting at once need more.
  WidenBacklog(listenSocket_.load(), port);
  port_.store(port);
  started_ = true;
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopping_ = false;
  }
  auto ended = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread([this, ended] {
    server_.listen_after_bind();
    ended->store(true);
  });
  // Stop only works once the accept loop runs, so Start returns after it has begun.
  while (!server_.is_running() && !ended->load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void SampleSite::Stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace qorvex
