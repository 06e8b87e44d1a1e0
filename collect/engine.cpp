#include "collect/engine.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "collect/contact_parser.h"
#include "collect/partitioner.h"
#include "collect/run_state.h"
#include "collect/search_parser.h"
#include "fetch/fetch.h"
#include "text/codepage.h"

namespace qorvex {

namespace {

// Texts shown by the runs, in code page 936.
constexpr std::string_view kStarting = "\xD5\xFD\xD4\xDA\xBF\xAA\xCA\xBC";  // 正在开始
constexpr std::string_view kSeconds = "\xC3\xEB";                           // 秒
constexpr std::string_view kNoResults =
    "\xC3\xBB\xD3\xD0\xB2\xC9\xBC\xAF\xBD\xE1\xB9\xFB";        // 没有采集结果
constexpr std::string_view kResultTitle = "\xBD\xE1\xB9\xFB";  // 结果
constexpr std::string_view kDoneTitle = "\xCD\xEA\xB3\xC9";    // 完成
// 采集公司已完成\r\n是否开始采集信息
constexpr std::string_view kSearchDone =
    "\xB2\xC9\xBC\xAF\xB9\xAB\xCB\xBE\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xBF\xAA\xCA\xBC\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2";
// 采集信息已完成\r\n是否导出
constexpr std::string_view kDetailDone =
    "\xB2\xC9\xBC\xAF\xD0\xC5\xCF\xA2\xD2\xD1\xCD\xEA\xB3\xC9\r\n"
    "\xCA\xC7\xB7\xF1\xB5\xBC\xB3\xF6";
constexpr std::string_view kPanelKeyword = " \xB9\xD8\xBC\xFC\xD7\xD6:";              //  关键字:
constexpr std::string_view kPanelFilter = "\xB9\xFD\xC2\xCB\xD7\xD6:";                // 过滤字:
constexpr std::string_view kPanelArea = "\xB5\xD8\xD6\xB7:";                          // 地址:
constexpr std::string_view kTotalOf = "\xB9\xB2";                                     // 共
constexpr std::string_view kPages = "\xD2\xB3";                                       // 页
constexpr std::string_view kItems = "\xCC\xF5";                                       // 条
constexpr std::string_view kNth = "\xB5\xDA";                                         // 第
constexpr std::string_view kFiltered = "\xB9\xFD\xC2\xCB";                            // 过滤
constexpr std::string_view kValid = "\xD3\xD0\xD0\xA7";                               // 有效
constexpr std::string_view kStateIdle = "\xD7\xB4\xCC\xAC:\xCE\xB4\xBF\xAA\xCA\xBC";  // 状态:未开始
constexpr std::string_view kStateBusy = "\xD7\xB4\xCC\xAC:\xD2\xD1\xBF\xAA\xCA\xBC";  // 状态:已开始

constexpr int kTimerPeriod = 10;
constexpr int32_t kMaxThreads = 50;

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

std::optional<Text> ThreadBoxCorrection(std::string_view boxText) {
  const double v = ToNumber(boxText);
  if (v - 1 < -0.0000001) return Text("1");
  if (v - 50 > 0.0000001) return Text("50");
  return std::nullopt;
}

int TimeoutFromBox(std::string_view boxText) {
  return ToInteger(ToNumber(boxText));
}

Text ContactPageUrl(const SiteConfig& config, std::string_view companyKey) {
  return ConcatText({config.companyPageBase, ReplaceAll(companyKey, "qv", "contact"), ".html"});
}

// One start of a run. Items carry their run's context; an item whose run is no longer the
// current one drops its result.
struct RunContext {
  uint64_t generation = 0;
  StopFlag stop = std::make_shared<std::atomic<bool>>(false);
  // Company search.
  Text searchUrl;
  Text filterText;
  std::atomic<int32_t> itemCount{0};
  std::atomic<int32_t> pagesHandled{0};
  // Detail collection: the rows as they stood at the start, and their keys (CompanyKeys).
  std::vector<RowId> rowIds;
  std::vector<Text> companyKeys;
  // Guarded by Impl::completionMutex: a run completes once.
  bool completed = false;
};

struct Engine::Impl : std::enable_shared_from_this<Engine::Impl> {
  Impl(ResultTable& t, FrontEnd& f, SiteConfig c, Fetcher fe)
      : table(t), frontEnd(f), config(std::move(c)), fetcher(std::move(fe)) {}

  ResultTable& table;
  FrontEnd& frontEnd;
  const SiteConfig config;
  const Fetcher fetcher;

  // RunState.
  std::atomic<bool> idle{true};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> finishing{false};
  std::atomic<bool> closing{false};

  RunCounters counters;

  // RunSettings.
  mutable std::mutex settingsMutex;
  Text keyword;
  Text area;
  Text filterText;
  std::atomic<int> timeoutSeconds{10};

  std::atomic<uint32_t> startTick{0};
  std::atomic<CsvEncoding> exportEncoding{CsvEncoding::Gbk};

  // The run gate: starts take it exclusively; item handlers hold the shared side while they
  // check their generation and write, so no late item interleaves with a start.
  std::shared_mutex runGate;
  uint64_t generation = 0;              // written under the exclusive gate
  std::shared_ptr<RunContext> current;  // written under the exclusive gate
  std::mutex currentStopMutex;          // StopRun reads the current stop flag without the gate
  StopFlag currentStop;

  std::mutex completionMutex;

  std::mutex threadsMutex;
  std::condition_variable threadsQuiet;
  int liveThreads = 0;

  // Threads.
  bool StartTracked(std::function<void()> body) {
    {
      std::lock_guard lock(threadsMutex);
      ++liveThreads;
    }
    try {
      std::thread([self = shared_from_this(), body = std::move(body)]() mutable {
        body();
        body = nullptr;  // drop the captures before announcing the end
        self->ThreadEnded();
      }).detach();
      return true;
    } catch (const std::system_error&) {
      ThreadEnded();
      return false;
    }
  }

  void ThreadEnded() {
    std::lock_guard lock(threadsMutex);
    if (--liveThreads == 0) threadsQuiet.notify_all();
  }

  bool WaitForQuiet(std::chrono::milliseconds timeout) {
    std::unique_lock lock(threadsMutex);
    return threadsQuiet.wait_for(lock, timeout, [this] { return liveThreads == 0; });
  }

  ThreadStarter Starter() {
    return [this](std::function<void()> body) { return StartTracked(std::move(body)); };
  }

  ByteBuffer Fetch(const Text& url, const Text& verb) {
    return fetcher(url, verb, timeoutSeconds.load());
  }

  int32_t ThreadCountSetting() {
    // Clamped here as well: a box value just below 1 passes the box's rule but truncates to 0.
    const int32_t n = ToInteger(ToNumber(frontEnd.BoxText(EditBox::Threads)));
    return std::clamp(n, int32_t{1}, kMaxThreads);
  }

  // Called with the exclusive gate held.
  std::shared_ptr<RunContext> BeginRunLocked() {
    if (current) current->stop->store(true);
    auto ctx = std::make_shared<RunContext>();
    ctx->generation = ++generation;
    current = ctx;
    std::lock_guard lock(currentStopMutex);
    currentStop = ctx->stop;
    return ctx;
  }

  bool ClaimCompletion(RunContext& ctx, bool condition) {
    std::lock_guard lock(completionMutex);
    if (!condition || ctx.completed) return false;
    ctx.completed = true;
    finishing.store(true);
    return true;
  }

  void StopCurrentWorkers() {
    stopRequested.store(true);
    std::lock_guard lock(currentStopMutex);
    if (currentStop) currentStop->store(true);
  }

  void StopRun() {
    // idle before the timer: an item that restarts the timer after this then sees idle.
    idle.store(true);
    frontEnd.SetTimerPeriod(0);
    StopCurrentWorkers();
    frontEnd.SetStartButtonsEnabled(true);
    StartTracked([this] { RefreshStatus(); });
    StartTracked([this] { table.CompactTable(); });
  }

  void RefreshStatus() {
    Text kw, filter, ar;
    {
      std::lock_guard lock(settingsMutex);
      kw = keyword;
      filter = filterText;
      ar = area;
    }
    frontEnd.SetPanelText(0, ConcatText({kPanelKeyword, kw}));
    frontEnd.SetPanelText(1, ConcatText({kPanelFilter, filter}));
    frontEnd.SetPanelText(2, ConcatText({kPanelArea, ar}));
    frontEnd.SetPanelText(3, ConcatText({kTotalOf, IntegerToText(counters.pageCount), kPages}));
    frontEnd.SetPanelText(4, ConcatText({kTotalOf, IntegerToText(counters.totalCount), kItems}));
    frontEnd.SetPanelText(5, ConcatText({kNth, IntegerToText(counters.processedCount), kItems}));
    frontEnd.SetPanelText(6,
                          ConcatText({kFiltered, IntegerToText(counters.filteredCount), kItems}));
    frontEnd.SetPanelText(7, ConcatText({kValid, IntegerToText(counters.validCount), kItems}));
    frontEnd.SetPanelText(8, Text(idle.load() ? kStateIdle : kStateBusy));
  }

  Text ElapsedText() const {
    const uint32_t elapsed = TickCount() - startTick.load();
    return ConcatText({RealToText(elapsed / 1000.0), kSeconds});
  }

  // Restarts the elapsed-time timer after an item; true when the run is at rest already.
  bool AfterItem() {
    if (frontEnd.TimerPeriod() != kTimerPeriod) frontEnd.SetTimerPeriod(kTimerPeriod);
    return idle.load();
  }

  // Company search.
  void StartCompanySearch() {
    std::unique_lock gate(runGate);
    if (!idle.load() || closing.load()) return;
    table.DeleteAllRows();
    frontEnd.SetStartButtonsEnabled(false);
    const Text kw = frontEnd.BoxText(EditBox::Keyword);
    const Text filter = frontEnd.BoxText(EditBox::Filter);
    const Text ar = frontEnd.BoxText(EditBox::Area);
    {
      std::lock_guard lock(settingsMutex);
      keyword = kw;
      filterText = filter;
      area = ar;
    }
    idle.store(false);
    counters.pageCount.store(0);
    counters.totalCount.store(0);
    counters.processedCount.store(0);
    counters.filteredCount.store(0);
    counters.validCount.store(0);
    auto ctx = BeginRunLocked();
    ctx->searchUrl = ConcatText({config.searchUrlPrefix, UrlEncode(kw), "&area=", UrlEncode(ar)});
    ctx->filterText = filter;
    frontEnd.SetPanelText(9, Text(kStarting));
    if (!StartTracked([this, ctx] { RunCompanySearch(ctx); })) {
      gate.unlock();
      StopRun();
    }
  }

  void RunCompanySearch(const std::shared_ptr<RunContext>& ctx) {
    {
      std::shared_lock gate(runGate);
      if (ctx->generation != generation) return;
      startTick.store(TickCount());
    }
    const Text page = Utf8ToAnsi(BytesToText(Fetch(ctx->searchUrl, "GET")));
    {
      std::shared_lock gate(runGate);
      if (ctx->generation != generation) return;
      ParseSearchSummary(page, counters);
      RefreshStatus();
      const int32_t pages = counters.pageCount.load();
      // A negative count (a minus sign in the page) ends the search like one without pages.
      if (pages >= 1) {
        if (closing.load()) return;
        ctx->itemCount.store(pages);
        const int32_t threads = std::min(ThreadCountSetting(), pages);
        stopRequested.store(false);
        DistributeWork([this, ctx](int32_t p) { CollectListPage(ctx, p); }, pages, threads,
                       ctx->stop, Starter());
        return;
      }
    }
    StopRun();
    frontEnd.ShowMessage(Text(kNoResults), Text(kResultTitle));
  }

  void CollectListPage(const std::shared_ptr<RunContext>& ctx, int32_t page) {
    const Text url = ConcatText({ctx->searchUrl, "&p=", IntegerToText(page)});
    const Text section = CutListSection(Utf8ToAnsi(BytesToText(Fetch(url, "GET"))));
    bool atRest = false;
    bool complete = false;
    {
      std::shared_lock gate(runGate);
      if (ctx->generation != generation) return;
      atRest = AfterItem();
      ListPageContext context;
      context.counters = &counters;
      context.filterText = ctx->filterText;
      context.companyLinkMarker = config.companyLinkMarker;
      context.table = &table;
      context.refreshStatus = [this] { RefreshStatus(); };
      ParseListPage(section, context);
      // Complete when the site's total is reached, or when every page has been read: pages
      // that hold fewer companies than the total promised must not keep the run open.
      const int32_t handled = ctx->pagesHandled.fetch_add(1) + 1;
      complete =
          ClaimCompletion(*ctx, counters.processedCount.load() >= counters.totalCount.load() ||
                                    handled >= ctx->itemCount.load());
    }
    if (atRest) StopRun();
    if (complete) FinishSearch(*ctx);
  }

  void FinishSearch(const RunContext& ctx) {
    StopRun();
    if (!closing.load()) {
      bool go = true;
      if (frontEnd.IsTicked(CheckBox::ConfirmDetails)) {
        go = frontEnd.AskYesNo(Text(kSearchDone), Text(kDoneTitle), Owner::MainWindow);
      }
      if (go) StartDetailCollection(ctx.generation);
    }
    finishing.store(false);
  }

  // Detail collection. With afterGeneration, only when no other run has started since that one.
  void StartDetailCollection(std::optional<uint64_t> afterGeneration) {
    std::unique_lock gate(runGate);
    if (closing.load()) return;
    if (afterGeneration && *afterGeneration != generation) return;
    // Compact first and take the rows in one step, so that the keys, the count and the rows
    // the items address describe the same table.
    table.CompactTable();
    const auto rows = table.KeysSnapshot();
    if (rows.empty()) return;
    const int32_t n = static_cast<int32_t>(rows.size());
    auto ctx = BeginRunLocked();
    ctx->rowIds.reserve(rows.size());
    ctx->companyKeys.reserve(rows.size());
    for (const auto& [id, key] : rows) {
      ctx->rowIds.push_back(id);
      ctx->companyKeys.push_back(IsBlank(key) ? Text() : key);
    }
    startTick.store(TickCount());
    frontEnd.SetStartButtonsEnabled(false);
    counters.processedCount.store(0);
    counters.validCount.store(0);
    idle.store(false);
    counters.filteredCount.store(0);
    counters.totalCount.store(n);
    frontEnd.SetPanelText(9, Text(kStarting));
    const int32_t threads = std::min(ThreadCountSetting(), n);
    stopRequested.store(false);
    DistributeWork([this, ctx](int32_t row) { CollectCompanyDetail(ctx, row); }, n, threads,
                   ctx->stop, Starter());
  }

  void CollectCompanyDetail(const std::shared_ptr<RunContext>& ctx, int32_t row) {
    const RowId id = ctx->rowIds[row - 1];
    // A row that has a contact person already is not fetched again, but it is handled: it
    // counts, so the run completes when its last row is done.
    const bool skip = !table.GetCellById(id, kColumnContact).empty();
    Text page;
    if (!skip) {
      page = Utf8ToAnsi(BytesToText(Fetch(ContactPageUrl(config, ctx->companyKeys[row - 1]), {})));
    }
    bool atRest = false;
    bool complete = false;
    {
      std::shared_lock gate(runGate);
      if (ctx->generation != generation) return;
      if (!skip) {
        DetailContext context;
        context.counters = &counters;
        context.table = &table;
        context.isTicked = [this](CheckBox box) { return frontEnd.IsTicked(box); };
        ParseCompanyDetail(page, id, context);
      }
      counters.processedCount.fetch_add(1);
      RefreshStatus();
      atRest = AfterItem();
      // Measured against the rows the run started with, not the table as it stands: a
      // compaction still pending from the stop before this run may drop rows this run has
      // blanked, and the run would then end before its last rows were handled.
      complete = ClaimCompletion(
          *ctx, counters.processedCount.load() >= static_cast<int32_t>(ctx->rowIds.size()));
    }
    if (atRest) StopRun();
    if (complete) FinishDetail();
  }

  void FinishDetail() {
    frontEnd.SetTimerPeriod(0);
    StopRun();
    // The stop compacts on a thread of its own; the export offered next must not see the rows
    // the filters blanked, so compact here before asking.
    table.CompactTable();
    if (!closing.load() && frontEnd.IsTicked(CheckBox::ExportPrompt) &&
        frontEnd.AskYesNo(Text(kDetailDone), Text(kDoneTitle), Owner::None)) {
      ExportCsv();
    }
    finishing.store(false);
  }

  void ExportCsv() {
    if (table.RowCount() < 1) return;
    Text name;
    {
      std::lock_guard lock(settingsMutex);
      name = ProposedFileName(keyword, area, filterText);
    }
    const std::optional<std::string> path = frontEnd.AskSavePath(name, DesktopFolder());
    if (!path) return;
    // A failed write is reported, never passed off as a saved export.
    const WriteResult result = WriteCsvFile(table, *path, exportEncoding.load());
    if (!result) frontEnd.ShowWriteFailure(result.reason);
  }

  void RequestClose() {
    closing.store(true);
    StopCurrentWorkers();
  }
};

Engine::Engine(ResultTable& table, FrontEnd& frontEnd, SiteConfig config, Fetcher fetcher) {
  FetchGlobalInit();
  if (!fetcher) {
    fetcher = [](const Text& url, const Text& verb, int timeoutSeconds) {
      return TimedFetch(url, verb, {}, {}, {}, {}, {}, timeoutSeconds);
    };
  }
  impl_ = std::make_shared<Impl>(table, frontEnd, std::move(config), std::move(fetcher));
}

Engine::~Engine() {
  impl_->RequestClose();
  impl_->WaitForQuiet(std::chrono::hours(24 * 365));
  // The last threads may still be letting go of their reference.
  while (impl_.use_count() > 1)
    std::this_thread::yield();
}

void Engine::StartCompanySearch() {
  impl_->StartCompanySearch();
}
void Engine::StartDetailCollection() {
  impl_->StartDetailCollection(std::nullopt);
}
void Engine::StopRun() {
  impl_->StopRun();
}
void Engine::DeleteAllRows() {
  impl_->table.DeleteAllRows();
}
void Engine::ClearDetails() {
  impl_->table.ClearDetails();
}
void Engine::ExportCsv() {
  impl_->ExportCsv();
}

void Engine::OpenCompanyPage() {
  const int s = impl_->frontEnd.SelectedRow();
  if (s < 0) return;
  const Text url = ContactPageUrl(impl_->config, impl_->table.GetCell(s, kColumnId));
  impl_->frontEnd.OpenUrl(AnsiToUtf8(url));
}

void Engine::SetTimeoutSeconds(int seconds) {
  impl_->timeoutSeconds.store(seconds);
}
void Engine::RequestClose() {
  impl_->RequestClose();
}
void Engine::RefreshStatus() {
  impl_->RefreshStatus();
}
Text Engine::ElapsedText() const {
  return impl_->ElapsedText();
}
CounterValues Engine::Counters() const {
  return impl_->counters.Values();
}
bool Engine::Idle() const {
  return impl_->idle.load();
}
bool Engine::WaitForQuiet(std::chrono::milliseconds timeout) {
  return impl_->WaitForQuiet(timeout);
}
const SiteConfig& Engine::Config() const {
  return impl_->config;
}
void Engine::SetExportEncoding(CsvEncoding encoding) {
  impl_->exportEncoding.store(encoding);
}

}  // namespace qorvex
