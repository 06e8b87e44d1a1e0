#include "results/csv.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "text/codepage.h"

namespace qorvex {
namespace {

namespace fs = std::filesystem;

// The header line of the file: 序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址
const Text kHeader =
    "\xD0\xF2,ID,\xB9\xAB\xCB\xBE\xC3\xFB,\xC1\xAA\xCF\xB5\xC8\xCB,\xCA\xD6\xBB\xFA,"
    "\xB5\xE7\xBB\xB0,\xB4\xAB\xD5\xE6,\xD3\xCA\xCF\xE4,QQ,\xB5\xD8\xD6\xB7\r\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the test's temporary directory, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::path(testing::TempDir()) / "qorvex-results-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(BuildCsv, TwoRowsGiveHeaderAndTwoLines) {
  ResultTable table;
  const RowId first = table.AppendCompany("qvabc", "\xB9\xAB\xCB\xBE");  // 公司
  table.SetCellsById(first, kColumnContact,
                     {"\xD5\xC5\xC8\xFD", "13800000000", "010-1", "", "a@b.cn", "12345", "x"});
  table.AppendCompany("qvdef", "B");
  EXPECT_EQ(BuildCsv(table), kHeader +
                                 "1,qvabc,\xB9\xAB\xCB\xBE,\xD5\xC5\xC8\xFD,13800000000,010-1,,"
                                 "a@b.cn,12345,x\r\n"
                                 "2,qvdef,B,,,,,,,\r\n");
}

TEST(BuildCsv, TableWithoutRowsGivesTheEmptyText) {
  ResultTable table;
  EXPECT_EQ(BuildCsv(table), "");
  table.AppendRow();
  table.DeleteAllRows();
  EXPECT_EQ(BuildCsv(table), "");
}

TEST(BuildCsv, RowOfEmptyCellsHasTenEmptyFields) {
  ResultTable table;
  table.AppendRow();
  EXPECT_EQ(BuildCsv(table), kHeader + ",,,,,,,,,\r\n");
}

TEST(BuildCsv, QuotesOnlyFieldsThatWouldSplit) {
  const struct {
    const char* name;
    Text cell;
    Text field;
  } cases[] = {
      {"plain", "abc", "abc"},
      {"spaces kept", " a b ", " a b "},
      {"comma", "a,b", "\"a,b\""},
      {"quote doubled", "say \"hi\"", "\"say \"\"hi\"\"\""},
      {"lone quote", "\"", "\"\"\"\""},
      {"carriage return", "a\rb", "\"a\rb\""},
      {"line feed", "a\nb", "\"a\nb\""},
      {"CR LF", "a\r\n", "\"a\r\n\""},
      {"tab stays", "a\tb", "a\tb"},
      {"semicolon stays", "a;b", "a;b"},
      // 嘆 (87 40) and 億 (83 7C): ASCII trail bytes that are none of the special ones.
      {"trail bytes", "\x87\x40\x83\x7C", "\x87\x40\x83\x7C"},
      {"two-byte text with comma", "\xB9\xAB,\xCB\xBE", "\"\xB9\xAB,\xCB\xBE\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table;
    const RowId id = table.AppendCompany("k", c.cell);
    table.SetCellById(id, kColumnAddress, c.cell);
    EXPECT_EQ(BuildCsv(table), kHeader + "1,k," + c.field + ",,,,,,," + c.field + "\r\n");
  }
}

TEST(ProposedFileName, JoinsSettingsWithHyphens) {
  const struct {
    Text keyword, area, filter, expected;
  } cases[] = {
      {"abc", "def", "", "abc-def-.csv"},
      {"", "", "", "--.csv"},
      {"\xCA\xD6\xBB\xFA", "a/b", "x", "\xCA\xD6\xBB\xFA-a/b-x.csv"},  // offered unchanged
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProposedFileName(c.keyword, c.area, c.filter), c.expected);
  }
}

TEST(WriteWholeFile, SecondWriteReplacesTheWholeContent) {
  TempDir dir;
  const std::string path = (dir.path() / "out.csv").string();
  ResultTable table;
  for (const char* key : {"a", "b", "c"})
    table.AppendCompany(key, key);
  ASSERT_TRUE(WriteCsvFile(table, path));
  const std::string first = ReadFile(path);
  EXPECT_EQ(first, BuildCsv(table));
  table.DeleteRow(2);
  table.DeleteRow(1);
  const WriteResult second = WriteCsvFile(table, path);
  ASSERT_TRUE(second) << second.reason;
  EXPECT_EQ(ReadFile(path), kHeader + "1,a,a,,,,,,,\r\n");
}

TEST(WriteWholeFile, NameWithoutExtensionIsUsedAsGiven) {
  TempDir dir;
  ASSERT_TRUE(WriteWholeFile((dir.path() / "result").string(), "x"));
  EXPECT_EQ(ReadFile(dir.path() / "result"), "x");
}

TEST(WriteWholeFile, FailuresComeBackWithAReason) {
  TempDir dir;
  fs::create_directory(dir.path() / "folder");
  const std::string folder = (dir.path() / "folder").string();
  const std::string missing = (dir.path() / "missing" / "out.csv").string();
  const struct {
    const char* name;
    std::string path;
    const char* because;  // part of the reason
  } cases[] = {
      {"missing folder", missing, "No such file or directory"},
      {"a directory", folder, "Is a directory"},
      {"full device", "/dev/full", "No space left on device"},
      {"empty path", "", "No such file or directory"},
      {"zero byte in the name", folder + std::string("/a\0b", 4), "zero byte"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.path == "/dev/full" && access("/dev/full", W_OK) != 0) continue;
    const WriteResult result = WriteWholeFile(c.path, "some bytes");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.reason.find(c.because), std::string::npos) << result.reason;
  }
  EXPECT_NE(WriteWholeFile(missing, "x").reason.find(missing), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "folder" / "a"));
}

TEST(WriteCsvFile, EncodingsGiveTheExpectedBytes) {
  TempDir dir;
  ResultTable table;
  table.AppendCompany("k", "\xB9\xAB\xCB\xBE,1");  // 公司,1
  const std::string gbkPath = (dir.path() / "gbk.csv").string();
  const std::string utf8Path = (dir.path() / "utf8.csv").string();
  ASSERT_TRUE(WriteCsvFile(table, gbkPath, CsvEncoding::Gbk));
  ASSERT_TRUE(WriteCsvFile(table, utf8Path, CsvEncoding::Utf8WithBom));
  EXPECT_EQ(ReadFile(gbkPath), BuildCsv(table));
  EXPECT_EQ(ReadFile(utf8Path),
            "\xEF\xBB\xBF"
            "序,ID,公司名,联系人,手机,电话,传真,邮箱,QQ,地址\r\n"
            "1,k,\"公司,1\",,,,,,,\r\n");
}

// DesktopFolder reads the environment; each case runs with a HOME of its own.
class DesktopFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    Save("HOME", home_);
    Save("XDG_CONFIG_HOME", config_);
    setenv("HOME", dir_.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
  }
  void TearDown() override {
    Restore("HOME", home_);
    Restore("XDG_CONFIG_HOME", config_);
  }
  static void Save(const char* name, std::optional<std::string>& slot) {
    if (const char* value = std::getenv(name)) slot = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot) {
      setenv(name, slot->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  void WriteUserDirs(const fs::path& configDir, const std::string& content) {
    fs::create_directories(configDir);
    std::ofstream(configDir / "user-dirs.dirs") << content;
  }
  std::string Home() const { return dir_.path().string(); }

  TempDir dir_;
  std::optional<std::string> home_;
  std::optional<std::string> config_;
};

TEST_F(DesktopFolderTest, NothingThereGivesEmpty) {
  EXPECT_EQ(DesktopFolder(), "");
}

TEST_F(DesktopFolderTest, FallsBackToDesktopInHome) {
  fs::create_directory(dir_.path() / "Desktop");
  EXPECT_EQ(DesktopFolder(), Home() + "/Desktop/");
}

TEST_F(DesktopFolderTest, ReadsUserDirsWithHomeExpanded) {
  fs::create_directory(dir_.path() / "Desktop");
  fs::create_directory(dir_.path() / "\xE6\xA1\x8C\xE9\x9D\xA2");  // 桌面 in UTF-8
  WriteUserDirs(dir_.path() / ".config",
                "# written by a tool\n"
                "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                "XDG_DESKTOP_DIR=\"$HOME/\xE6\xA1\x8C\xE9\x9D\xA2\"\n");
  EXPECT_EQ(DesktopFolder(), Home() + "/\xE6\xA1\x8C\xE9\x9D\xA2/");
}

TEST_F(DesktopFolderTest, HonoursConfigHomeAndAbsolutePaths) {
  const fs::path elsewhere = dir_.path() / "my desk";
  fs::create_directory(elsewhere);
  const fs::path config = dir_.path() / "cfg";
  WriteUserDirs(config, "XDG_DESKTOP_DIR=\"" + elsewhere.string() + "/\"\n");
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(DesktopFolder(), elsewhere.string() + "/");
}

TEST_F(DesktopFolderTest, IgnoresEntriesThatLeadNowhere) {
  const struct {
    const char* name;
    std::string line;
  } cases[] = {
      {"folder missing", "XDG_DESKTOP_DIR=\"$HOME/Gone\""},
      {"relative path", "XDG_DESKTOP_DIR=\".\""},
      {"no quotes", "XDG_DESKTOP_DIR=$HOME/Desk2"},
      {"unclosed quote", "XDG_DESKTOP_DIR=\"$HOME/Desk2"},
      {"commented out", "# XDG_DESKTOP_DIR=\"$HOME/Desk2\""},
      {"variable glued to a name", "XDG_DESKTOP_DIR=\"$HOMEX/Desk2\""},
  };
  fs::create_directory(dir_.path() / "Desktop");
  fs::create_directory(dir_.path() / "Desk2");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteUserDirs(dir_.path() / ".config", c.line + "\n");
    EXPECT_EQ(DesktopFolder(), Home() + "/Desktop/");
  }
}

}  // namespace
}  // namespace qorvex
