// The collection core: the shared run state, the two runs from start to completion, stopping,
// the status summary and the export, driven by a front end. No GUI code here.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "collect/front_end.h"
#include "results/csv.h"
#include "results/result_table.h"
#include "text/text.h"

namespace qorvex {

/// The directory site. Defaults point at the bundled sample site on 127.0.0.1:8360.
struct SiteConfig {
  Text searchUrlPrefix = "http://127.0.0.1:8360/scom?kw=";  // ends in "/scom?kw="
  Text companyPageBase = "http://127.0.0.1:8360/";          // ends in "/"
  Text companyLinkMarker = "127.0.0.1:8360/";               // company-pages host and "/"
};

/// Fetches a page: (url, verb, timeoutSeconds) -> body, empty on failure. TimedFetch by default;
/// tests may give a fake.
using Fetcher = std::function<ByteBuffer(const Text& url, const Text& verb, int timeoutSeconds)>;

/// A copy of the counters at one moment.
struct CounterValues {
  int32_t pageCount = 0;
  int32_t totalCount = 0;
  int32_t processedCount = 0;
  int32_t filteredCount = 0;
  int32_t validCount = 0;
};

/// The thread box's rule: the text to write into the box, or nothing to leave it as it is.
std::optional<Text> ThreadBoxCorrection(std::string_view boxText);
/// The timeout box's rule: ToInteger(ToNumber(text)).
int TimeoutFromBox(std::string_view boxText);
/// The contact page address of a company key.
Text ContactPageUrl(const SiteConfig& config, std::string_view companyKey);

class Engine {
 public:
  /// The table and the front end must outlive the engine.
  Engine(ResultTable& table, FrontEnd& frontEnd, SiteConfig config = {}, Fetcher fetcher = {});
  /// Waits for every thread the engine started (bounded by the fetch limits).
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The window's events.
  void StartCompanySearch();
  void StartDetailCollection();
  void StopRun();
  void DeleteAllRows();
  void ClearDetails();
  /// Asks for a path and writes the table; does nothing for an empty table.
  void ExportCsv();
  void OpenCompanyPage();
  /// The timeout rule's result, taken at once (also during a run). It is 10, the timeout box's
  /// default, until the front end first sets it.
  void SetTimeoutSeconds(int seconds);
  /// The close request: stops every run's workers after their current item.
  void RequestClose();

  /// Rewrites status panels 0 to 8 from the settings, counters and state.
  void RefreshStatus();
  /// Panel 9's text for the current moment: "12.345秒".
  Text ElapsedText() const;

  CounterValues Counters() const;
  bool Idle() const;
  /// Waits until no thread started by the engine is alive; false when the timeout passed first.
  bool WaitForQuiet(std::chrono::milliseconds timeout);

  const SiteConfig& Config() const;
  void SetExportEncoding(CsvEncoding encoding);

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace qorvex
