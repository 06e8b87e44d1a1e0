// qorvex-cli: the company search chained into detail collection and the CSV export, without a
// window. Standard output carries only the path written; everything else goes to standard error.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "collect/engine.h"
#include "fetch/fetch.h"
#include "results/result_table.h"

namespace qorvex::cli {
namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoResult = 3;

constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

// The live line on a terminal; does nothing when disabled.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  void Draw(const std::array<Text, 10>& panels) {
    if (!enabled_) return;
    winsize size{};
    int columns = 80;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) columns = size.ws_col;
    // One column short of the edge, so that the terminal never wraps and \r stays on the line.
    const std::string line = FitToColumns(ProgressText(panels), columns - 1);
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  void Clear() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
};

int Run(const CliOptions& options) {
  CliFrontEnd frontEnd(options);
  ResultTable table;
  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO));
  CounterValues counters;
  bool incomplete = false;
  {
    Engine engine(table, frontEnd, SiteConfigFrom(options));
    engine.SetExportEncoding(options.encoding);
    engine.SetTimeoutSeconds(TimeoutFromBox(options.timeoutText));

    // What the window's timer and repaint do: the running time into the last panel, then draw.
    auto waitForQuiet = [&] {
      bool quiet = false;
      while (!quiet) {
        quiet = engine.WaitForQuiet(kRedrawPeriod);
        if (frontEnd.TimerPeriod() != 0) frontEnd.SetPanelText(9, engine.ElapsedText());
        progress.Draw(frontEnd.Panels());
      }
    };

    engine.StartCompanySearch();
    waitForQuiet();

    const RunOutcome outcome = frontEnd.Outcome();
    if (!outcome.noResult && table.RowCount() > 0) {
      // A run that does not complete by itself would leave the window waiting for its stop
      // button. Do what its user would do: stop, go on to the details when only the search had
      // started, and export what there is.
      const bool completed =
          options.companiesOnly ? outcome.detailsQuestions > 0 : outcome.exportQuestions > 0;
      if (!completed) {
        incomplete = true;
        if (!engine.Idle()) {
          engine.StopRun();
          waitForQuiet();
        }
        if (!options.companiesOnly && outcome.starts == 1 && table.RowCount() > 0) {
          engine.StartDetailCollection();
          waitForQuiet();
          if (!engine.Idle()) {
            engine.StopRun();
            waitForQuiet();
          }
        }
      }
      // At rest, so the table is compacted: exactly the rows the window would export.
      engine.ExportCsv();
      waitForQuiet();
    }
    counters = engine.Counters();
  }
  progress.Clear();

  const RunOutcome outcome = frontEnd.Outcome();
  std::fprintf(stderr, "%s\n", SummaryLine(counters).c_str());
  if (incomplete) {
    std::fputs(
        "qorvex-cli: warning: the run did not complete by itself; it was stopped and the rows "
        "collected were kept\n",
        stderr);
  }
  if (outcome.noResult || !outcome.savePathAsked) {
    std::fputs("没有采集结果\n", stderr);
    return kExitNoResult;
  }
  if (outcome.writeFailure) {
    // The reason usually names the path already.
    const std::string& reason = *outcome.writeFailure;
    if (reason.find(outcome.savePath) != std::string::npos) {
      std::fprintf(stderr, "qorvex-cli: %s\n", reason.c_str());
    } else {
      std::fprintf(stderr, "qorvex-cli: cannot write %s: %s\n", outcome.savePath.c_str(),
                   reason.c_str());
    }
    return kExitFailure;
  }
  std::printf("%s\n", outcome.savePath.c_str());
  return std::fflush(stdout) == 0 ? kExitWritten : kExitFailure;
}

}  // namespace
}  // namespace qorvex::cli

int main(int argc, char** argv) {
  using namespace qorvex::cli;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParseResult parsed = ParseOptions(args);
  switch (parsed.outcome) {
    case ParseOutcome::Help:
      std::fputs(UsageText().c_str(), stdout);
      return kExitWritten;
    case ParseOutcome::Version:
      std::printf("qorvex-cli %s\n", QORVEX_VERSION);
      return kExitWritten;
    case ParseOutcome::UsageError:
      std::fprintf(stderr, "qorvex-cli: %s\nTry 'qorvex-cli --help' for more information.\n",
                   parsed.error.c_str());
      return kExitUsage;
    case ParseOutcome::Run:
      break;
  }
  // A peer that closes its socket must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  qorvex::FetchGlobalInit();
  return Run(parsed.options);
}
