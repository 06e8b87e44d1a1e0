// The bundled sample directory site: a small HTTP server with a deterministic generated set of
// companies, serving search result pages and contact pages in the directory site's format
// (UTF-8 on the wire). It is the program's default site and the server behind the network tests.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qorvex {

/// One company of the directory. Contact fields are UTF-8 and hold exactly what a reader of the
/// contact page's markers finds before spaces are removed (full-width spaces included); an empty
/// field is absent from the page.
struct SampleCompany {
  int id = 0;
  std::string key;  // "qv<id>": the company link's path
  std::string name;
  std::string contact;
  std::string mobile;  // the "phone/" image; may hold a landline or "+86..."
  std::string phone;   // the "tel/" image; may hold a mobile
  std::string fax;
  std::string email;
  std::string qq;
  std::string address;  // the link text, spaces as shown

  std::string province;
  std::string city;
  std::string district;
  std::string businessType;
  std::string products;  // "、"-separated, the search matches against these and the name

  bool contactFallback = false;    // only the "联系人：&nbsp;" form
  bool contactBlankFirst = false;  // the first form holds only spaces; the fallback follows
  bool emailFallback = false;      // only the "电子邮箱：&nbsp;" form
  bool qqQuoteForm = false;        // "&uin=N" ends at a quote, the next "&" far behind
  bool longLink = false;           // link text "<p>name</p>" plus a long introduction
};

/// The whole directory for a seed: company i depends only on (seed, i), so a bigger directory
/// starts with the companies of a smaller one.
std::vector<SampleCompany> GenerateCompanies(unsigned seed, int count);

/// Companies whose name or products hold keyword and whose place holds area, in directory
/// order. ASCII letters match regardless of case; empty texts match everything; a text that is
/// not UTF-8 matches nothing.
std::vector<const SampleCompany*> SearchCompanies(const std::vector<SampleCompany>& companies,
                                                  std::string_view keyword, std::string_view area);

inline constexpr int kSampleCompaniesPerPage = 20;
/// The highest page count a result page shows; more pages still show this.
inline constexpr int kSampleMaxShownPages = 99;

/// Result page `page` (1-based) of a search; hostPort is put in front of every company link.
std::string RenderSearchPage(const std::vector<const SampleCompany*>& matches,
                             std::string_view keyword, std::string_view area, int page,
                             std::string_view hostPort);
/// The contact page of a company.
std::string RenderContactPage(const SampleCompany& company, std::string_view hostPort);
/// The company's own page (what a browser shows for its link).
std::string RenderCompanyPage(const SampleCompany& company, std::string_view hostPort);

struct SampleSiteOptions {
  std::string host = "127.0.0.1";
  int port = 8360;    // 0 = an ephemeral port, see Port()
  int latencyMs = 0;  // added before every response
  unsigned seed = 1;
  int companies = 300;
  int threads = 64;  // connections served at once
};

/// The site's server. Routes: "/" (a search form), "/scom?kw=&area=&p=", "/qv<id>",
/// "/contact<id>.html" and "/img/{phone,tel,fax}/<number>.png". Thread-safe after Start.
class SampleSite {
 public:
  explicit SampleSite(SampleSiteOptions options = {});
  /// Stops the server.
  ~SampleSite();
  SampleSite(const SampleSite&) = delete;
  SampleSite& operator=(const SampleSite&) = delete;

  /// Binds and serves on a background thread; returns once connections are accepted. False
  /// when the port cannot be bound (taken) or the site was started before.
  bool Start();
  /// The bound port (the chosen one when the options asked for 0); 0 before Start.
  int Port() const { return port_.load(); }
  /// "http://host:port/".
  std::string BaseUrl() const;
  /// The collection core's site settings for this server: "http://host:port/scom?kw=",
  /// "http://host:port/" and "host:port/".
  std::string SearchUrlPrefix() const { return BaseUrl() + "scom?kw="; }
  std::string CompanyPageBase() const { return BaseUrl(); }
  std::string CompanyLinkMarker() const {
    return options_.host + ":" + std::to_string(Port()) + "/";
  }
  /// Stops accepting, cuts pending latency waits short and waits for the serving thread.
  void Stop();

  /// The underlying server, for tests that add misbehaving routes; use before Start. The site's
  /// own pre-routing handler applies the latency and counts requests: do not replace it.
  httplib::Server& Server() { return server_; }

  const std::vector<SampleCompany>& Companies() const { return companies_; }
  /// The expected matches of a search, in page order.
  std::vector<const SampleCompany*> Search(std::string_view keyword, std::string_view area) const;
  /// The company with this id, or nullptr.
  const SampleCompany* FindCompany(int id) const;
  /// Requests received so far (every route, misbehaving test routes included).
  long RequestCount() const { return requestCount_.load(); }

 private:
  void InstallRoutes();
  void ApplyLatency();
  std::string HostPortOf(const httplib::Request& request) const;

  SampleSiteOptions options_;
  std::vector<SampleCompany> companies_;
  httplib::Server server_;
  std::thread thread_;
  std::atomic<int> port_{0};
  std::atomic<long> requestCount_{0};
  std::atomic<int> listenSocket_{-1};
  std::atomic<bool> binding_{false};
  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stopping_ = false;  // guarded by stopMutex_
  // Start and Stop are called from the owner's thread only; a site starts once.
  bool started_ = false;
  bool stopped_ = false;
};

}  // namespace qorvex
