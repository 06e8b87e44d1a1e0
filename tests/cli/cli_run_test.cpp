// End-to-end runs of the built qorvex-cli against the sample site served from this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sample-site/sample_site.h"
#include "text/codepage.h"
#include "text/text.h"

extern char** environ;

namespace qorvex::cli {
namespace {

namespace fs = std::filesystem;

// 序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址 in code page 936
const std::string kHeaderGbk =
    "\xD0\xF2,ID,\xB9\xAB\xCB\xBE\xC3\xFB,\xC1\xAA\xCF\xB5\xC8\xCB,\xCA\xD6\xBB\xFA,"
    "\xB5\xE7\xBB\xB0,\xB4\xAB\xD5\xE6,\xD3\xCA\xCF\xE4,QQ,\xB5\xD8\xD6\xB7";
const std::string kHeaderUtf8 = "序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址";

struct CliRun {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
  bool timedOut = false;
};

// Runs the program with a bounded wait, collecting both output streams.
CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir = {},
              std::chrono::seconds limit = std::chrono::seconds(60)) {
  CliRun run;
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return run;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

  std::vector<std::string> argvStrings = {QORVEX_CLI_PATH};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings)
    argv.push_back(s.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, QORVEX_CLI_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return run;
  }

  const auto deadline = std::chrono::steady_clock::now() + limit;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

using Record = std::vector<std::string>;

// Reads CSV text: records end in CR LF, quoted fields may hold commas, quotes and line breaks.
// Returns nothing when the text is not well formed (an open quote, a last line without CR LF).
std::optional<std::vector<Record>> ParseCsv(std::string_view text) {
  std::vector<Record> records;
  Record record;
  std::string field;
  bool quoted = false;
  bool afterQuote = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
        afterQuote = true;
      }
      continue;
    }
    if (c == '"' && field.empty() && !afterQuote) {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      afterQuote = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      afterQuote = false;
      ++i;
    } else if (afterQuote) {
      return std::nullopt;
    } else {
      field += c;
    }
  }
  if (quoted || !field.empty() || !record.empty()) return std::nullopt;
  return records;
}

// A directory of its own for each test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qorvex-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

int PagesFor(size_t companies) {
  return static_cast<int>((companies + 19) / 20);
}

std::string Summary(int pages, int total, int processed, int filtered, int valid) {
  return "共" + std::to_string(pages) + "页 共" + std::to_string(total) + "条 第" +
         std::to_string(processed) + "条 过滤" + std::to_string(filtered) + "条 有效" +
         std::to_string(valid) + "条";
}

// The companies of a stand-in search route: a few real ones renamed so that their names hold
// the signs a CSV field must be quoted for.
std::vector<SampleCompany> OddCompanies(const std::vector<SampleCompany>& all) {
  std::vector<SampleCompany> odd(all.begin(), all.begin() + 25);
  odd[0].name = "Comma, Trading Co";
  odd[1].name = "Say \"Hi\" Ltd";
  odd[22].name = "A,B,C";
  for (SampleCompany& c : odd) {
    c.name = "Zq " + c.name;  // one word that every name holds
    c.longLink = false;
  }
  return odd;
}

class CliRunTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    SampleSiteOptions options;
    options.port = 0;
    options.seed = 1;
    options.companies = 300;
    site_ = new SampleSite(options);
    odd_ = new std::vector<SampleCompany>(OddCompanies(site_->Companies()));

    auto pageOf = [](const httplib::Request& request) {
      const int page = request.has_param("p") ? std::atoi(request.get_param_value("p").c_str()) : 1;
      return page < 1 ? 1 : page;
    };
    auto hostPort = [] { return "127.0.0.1:" + std::to_string(site_->Port()); };
    site_->Server().Get(
        "/odd/scom", [=](const httplib::Request& request, httplib::Response& reply) {
          std::vector<const SampleCompany*> matches;
          for (const SampleCompany& c : *odd_)
            matches.push_back(&c);
          reply.set_content(RenderSearchPage(matches, "", "", pageOf(request), hostPort()),
                            "text/html; charset=utf-8");
        });
    // The summary claims more companies than the pages deliver.
    site_->Server().Get(
        "/stall/scom", [=](const httplib::Request& request, httplib::Response& reply) {
          const auto all = site_->Search("", "");
          const std::vector<const SampleCompany*> matches(all.begin(), all.begin() + 30);
          std::string page = RenderSearchPage(matches, "", "", pageOf(request), hostPort());
          const std::string claimed = "<span class=\"n\">30<";
          const size_t at = page.find(claimed);
          if (at != std::string::npos) page.replace(at, claimed.size(), "<span class=\"n\">35<");
          reply.set_content(page, "text/html; charset=utf-8");
        });
    // Answers only after three seconds.
    site_->Server().Get(
        "/slow/scom", [=](const httplib::Request& request, httplib::Response& reply) {
          std::this_thread::sleep_for(std::chrono::seconds(3));
          reply.set_content(
              RenderSearchPage(site_->Search("", ""), "", "", pageOf(request), hostPort()),
              "text/html; charset=utf-8");
        });
    site_->Server().Get("/blank/.*", [](const httplib::Request&, httplib::Response& reply) {
      reply.set_content("<html><body></body></html>", "text/html; charset=utf-8");
    });
    ASSERT_TRUE(site_->Start());
  }

  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
    delete odd_;
    odd_ = nullptr;
  }

  static std::vector<std::string> SiteArgs(const std::string& searchPath = "scom") {
    const std::string base = "http://127.0.0.1:" + std::to_string(site_->Port()) + "/";
    return {"--search-url",
            base + searchPath + "?kw=",
            "--company-base",
            base,
            "--link-marker",
            "127.0.0.1:" + std::to_string(site_->Port()) + "/",
            "-q"};
  }

  static std::vector<std::string> Args(std::vector<std::string> args,
                                       const std::string& searchPath = "scom") {
    for (std::string& s : SiteArgs(searchPath))
      args.push_back(std::move(s));
    return args;
  }

  // The rows of a written file after its header; fails the test when the file is malformed.
  static std::vector<Record> Rows(const std::string& bytes, const std::string& header) {
    const auto records = ParseCsv(bytes);
    EXPECT_TRUE(records.has_value()) << "not well-formed CSV";
    if (!records || records->empty()) return {};
    EXPECT_EQ(bytes.substr(0, header.size() + 2), header + "\r\n");
    std::vector<Record> rows(records->begin() + 1, records->end());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].size(), 10u) << "row " << i;
      EXPECT_EQ(rows[i].empty() ? "" : rows[i][0], std::to_string(i + 1)) << "序 of row " << i;
    }
    return rows;
  }

  // Contact pages from a route that answers every one with an empty page.
  static std::vector<std::string> WithBlankContactPages(std::vector<std::string> args) {
    args.push_back("--company-base");
    args.push_back("http://127.0.0.1:" + std::to_string(site_->Port()) + "/blank/");
    return args;
  }

  static std::map<std::string, const SampleCompany*> ByKey(
      const std::vector<const SampleCompany*>& companies) {
    std::map<std::string, const SampleCompany*> map;
    for (const SampleCompany* c : companies)
      map[c->key] = c;
    return map;
  }

  TempDir dir_;
  static SampleSite* site_;
  static std::vector<SampleCompany>* odd_;
};

SampleSite* CliRunTest::site_ = nullptr;
std::vector<SampleCompany>* CliRunTest::odd_ = nullptr;

TEST_F(CliRunTest, FullRunWritesEveryCompanyWithItsContactFields) {
  const fs::path output = dir_.Path() / "out.csv";
  // Number options off, so every field must come through exactly as the site shows it.
  const CliRun run =
      RunCli(Args({"-k", "手机", "--no-swap", "--no-strong-mobile", "-o", output.string()}));
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, output.string() + "\n");

  const auto matches = site_->Search("手机", "");
  ASSERT_GT(matches.size(), 20u) << "the keyword should find several pages";
  const int n = static_cast<int>(matches.size());
  EXPECT_NE(run.err.find(Summary(PagesFor(matches.size()), n, n, 0, n) + "\n"), std::string::npos)
      << run.err;

  const auto bytes = ReadFile(output);
  ASSERT_TRUE(bytes.has_value());
  const std::vector<Record> rows = Rows(*bytes, kHeaderGbk);
  ASSERT_EQ(rows.size(), matches.size());
  auto expected = ByKey(matches);
  for (const Record& row : rows) {
    ASSERT_EQ(row.size(), 10u);
    const auto it = expected.find(row[1]);
    ASSERT_NE(it, expected.end()) << "unexpected key " << row[1];
    const SampleCompany& c = *it->second;
    const std::string fields[] = {c.name, c.contact, c.mobile, c.phone,
                                  c.fax,  c.email,   c.qq,     c.address};
    for (int column = 2; column < 10; ++column) {
      const std::string want =
          column == 2 ? Utf8ToAnsi(fields[0]) : RemoveAllSpaces(Utf8ToAnsi(fields[column - 2]));
      EXPECT_EQ(row[column], want) << c.key << " column " << column;
    }
    expected.erase(it);
  }
  EXPECT_TRUE(expected.empty()) << expected.size() << " companies missing";
}

TEST_F(CliRunTest, DefaultNameInTheCurrentFolderAndFiltersApply) {
  // Default number options, an area and an exclusion word; the file lands under the proposed
  // name in the working folder.
  const std::string exclude = "科技";
  const CliRun run = RunCli(Args({"-k", "手机", "-a", "广东", "-x", exclude, "-r", "mobile"}),
                            dir_.Path().string());
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "手机-广东-科技.csv\n");

  const auto matches = site_->Search("手机", "广东");
  int kept = 0;
  for (const SampleCompany* c : matches)
    kept += c->name.find(exclude) == std::string::npos;
  ASSERT_GT(kept, 0);
  ASSERT_LT(kept, static_cast<int>(matches.size())) << "the exclusion word should remove some";

  const auto bytes = ReadFile(dir_.Path() / "手机-广东-科技.csv");
  ASSERT_TRUE(bytes.has_value());
  const std::vector<Record> rows = Rows(*bytes, kHeaderGbk);
  const Text excludeGbk = Utf8ToAnsi(exclude);
  for (const Record& row : rows) {
    ASSERT_EQ(row.size(), 10u);
    EXPECT_EQ(FindText(row[2], excludeGbk, false), -1) << row[2];
    EXPECT_EQ(row[4].substr(0, 1), "1") << "mobile required and strong filter on: " << row[4];
  }
  // Search: every company counted, the excluded ones as filtered. Details: the rows without a
  // mobile number are filtered, the others valid; the file holds the valid ones.
  const int n = static_cast<int>(matches.size());
  const int valid = static_cast<int>(rows.size());
  EXPECT_LE(valid, kept);
  EXPECT_NE(run.err.find(Summary(PagesFor(matches.size()), kept, kept, kept - valid, valid)),
            std::string::npos)
      << run.err << " (" << n << " found)";
}

TEST_F(CliRunTest, Utf8EncodingWritesTheSameTableWithAByteOrderMark) {
  const fs::path gbkPath = dir_.Path() / "gbk.csv";
  const fs::path utf8Path = dir_.Path() / "utf8.csv";
  // One thread keeps the row order the same in both runs.
  const CliRun gbk = RunCli(Args({"-k", "电子", "-a", "深圳", "-t", "1", "-o", gbkPath.string()}));
  const CliRun utf8 = RunCli(Args(
      {"-k", "电子", "-a", "深圳", "-t", "1", "--encoding", "utf-8", "-o", utf8Path.string()}));
  ASSERT_EQ(gbk.exitCode, 0) << gbk.err;
  ASSERT_EQ(utf8.exitCode, 0) << utf8.err;
  const auto gbkBytes = ReadFile(gbkPath);
  const auto utf8Bytes = ReadFile(utf8Path);
  ASSERT_TRUE(gbkBytes && utf8Bytes);
  ASSERT_EQ(utf8Bytes->substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(Rows(utf8Bytes->substr(3), kHeaderUtf8).size(), site_->Search("电子", "深圳").size());
  EXPECT_EQ(utf8Bytes->substr(3), AnsiToUtf8(*gbkBytes));
}

TEST_F(CliRunTest, CompaniesOnlyFetchesNoContactPage) {
  const fs::path output = dir_.Path() / "companies.csv";
  const long before = site_->RequestCount();
  const CliRun run = RunCli(Args({"-k", "手机", "--companies-only", "-o", output.string()}));
  const long requests = site_->RequestCount() - before;
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const auto matches = site_->Search("手机", "");
  const int pages = PagesFor(matches.size());
  EXPECT_EQ(requests, pages + 1) << "the summary page plus every result page, nothing else";
  const auto bytes = ReadFile(output);
  ASSERT_TRUE(bytes.has_value());
  const std::vector<Record> rows = Rows(*bytes, kHeaderGbk);
  ASSERT_EQ(rows.size(), matches.size());
  auto expected = ByKey(matches);
  for (const Record& row : rows) {
    ASSERT_EQ(row.size(), 10u);
    ASSERT_TRUE(expected.count(row[1])) << row[1];
    EXPECT_EQ(row[2], Utf8ToAnsi(expected[row[1]]->name));
    for (int column = 3; column < 10; ++column)
      EXPECT_EQ(row[column], "") << row[1];
  }
  const int n = static_cast<int>(matches.size());
  EXPECT_NE(run.err.find(Summary(pages, n, n, 0, n)), std::string::npos) << run.err;
}

TEST_F(CliRunTest, NamesWithCommasAndQuotesAreQuoted) {
  const fs::path output = dir_.Path() / "odd.csv";
  const CliRun run =
      RunCli(Args({"-k", "x", "--companies-only", "-o", output.string()}, "odd/scom"));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto bytes = ReadFile(output);
  ASSERT_TRUE(bytes.has_value());
  for (const char* quoted :
       {",\"Zq Comma, Trading Co\",", ",\"Zq Say \"\"Hi\"\" Ltd\",", ",\"Zq A,B,C\","}) {
    EXPECT_NE(bytes->find(quoted), std::string::npos) << quoted;
  }
  const std::vector<Record> rows = Rows(*bytes, kHeaderGbk);
  ASSERT_EQ(rows.size(), odd_->size());
  std::map<std::string, std::string> names;
  for (const Record& row : rows)
    names[row[1]] = row[2];
  for (const SampleCompany& c : *odd_)
    EXPECT_EQ(names[c.key], Utf8ToAnsi(c.name)) << c.key;
}

TEST_F(CliRunTest, SiteClaimingMoreThanItDeliversStillCompletes) {
  // 30 companies delivered, 35 claimed: the search ends when its last page has been read.
  const fs::path output = dir_.Path() / "claims.csv";
  const CliRun run = RunCli(Args({"-k", "x", "-o", output.string()}, "stall/scom"));
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("did not complete"), std::string::npos) << run.err;
  const auto bytes = ReadFile(output);
  ASSERT_TRUE(bytes.has_value());
  const std::vector<Record> rows = Rows(*bytes, kHeaderGbk);
  ASSERT_EQ(rows.size(), 30u);
  int withContact = 0;
  for (const Record& row : rows)
    withContact += row.size() == 10 && !row[3].empty();
  EXPECT_GT(withContact, 0) << "detail collection should have followed the search";
  EXPECT_NE(run.err.find(Summary(2, 30, 30, 0, 30)), std::string::npos) << run.err;
}

TEST_F(CliRunTest, NoResultWritesNoFile) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"keyword without matches", Args({"-k", "不存在的词zzz"})},
      {"site unreachable",
       {"-k", "手机", "--search-url", "http://127.0.0.1:1/scom?kw=", "-T", "5", "-q"}},
      {"every company excluded", Args({"-k", "x", "-x", "Zq"}, "odd/scom")},
      {"every row filtered", WithBlankContactPages(Args({"-k", "手机", "-r", "contact"}))},
  };
  for (const Case& c : cases) {
    const fs::path output = dir_.Path() / "none.csv";
    std::vector<std::string> args = c.args;
    args.push_back("-o");
    args.push_back(output.string());
    const CliRun run = RunCli(args);
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.exitCode, 3) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find("没有采集结果"), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_FALSE(fs::exists(output)) << c.name;
  }
}

TEST_F(CliRunTest, TimeoutLimitsEveryFetch) {
  // With the default limit the slow page would arrive and the run would write a file.
  const fs::path output = dir_.Path() / "slow.csv";
  const CliRun run = RunCli(Args({"-k", "x", "-T", "1", "-o", output.string()}, "slow/scom"));
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_NE(run.err.find("没有采集结果"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(CliRunTest, UnwritableOutputFailsWithTheReason) {
  const fs::path output = dir_.Path() / "missing-folder" / "out.csv";
  const CliRun run =
      RunCli(Args({"-k", "手机", "-a", "北京", "--companies-only", "-o", output.string()}));
  EXPECT_EQ(run.exitCode, 1) << run.err;
  // One line that names the path and says why.
  const size_t at = run.err.find("qorvex-cli: ");
  ASSERT_NE(at, std::string::npos) << run.err;
  const std::string line = run.err.substr(at, run.err.find('\n', at) - at);
  EXPECT_NE(line.find(output.string()), std::string::npos) << line;
  EXPECT_NE(line.find("No such file or directory"), std::string::npos) << line;
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(output));
}

TEST(CliProgram, UsageErrorsHelpAndVersion) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* inOut;
    const char* inErr;
  } cases[] = {
      {{"-t", "abc"}, 2, "", "'abc'"},       {{"--bogus"}, 2, "", "--help"},
      {{"-k"}, 2, "", "needs a value"},      {{"--encoding", "utf-16"}, 2, "", "'utf-16'"},
      {{"-r", "pager"}, 2, "", "'pager'"},   {{"--help"}, 0, "Usage: qorvex-cli", ""},
      {{"--version"}, 0, "qorvex-cli ", ""},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args, {}, std::chrono::seconds(20));
    const std::string label = testing::PrintToString(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << label << run.err;
    EXPECT_NE(run.out.find(c.inOut), std::string::npos) << label;
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << label;
    if (c.exitCode == 2) {
      EXPECT_EQ(run.out, "") << label;
    }
  }
}

}  // namespace
}  // namespace qorvex::cli
