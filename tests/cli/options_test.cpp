#include "cli/options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/progress.h"

namespace qorvex::cli {
namespace {

struct ValidCase {
  const char* name;
  std::vector<std::string> args;
  std::function<void(CliOptions&)> expect;  // changes from the defaults
};

void PrintTo(const ValidCase& c, std::ostream* os) {
  *os << c.name;
}

class ValidOptions : public testing::TestWithParam<ValidCase> {};

TEST_P(ValidOptions, Parse) {
  const ValidCase& c = GetParam();
  const ParseResult result = ParseOptions(c.args);
  ASSERT_EQ(result.outcome, ParseOutcome::Run) << result.error;
  CliOptions expected;
  c.expect(expected);
  EXPECT_TRUE(result.options == expected);
}

const ValidCase kValidCases[] = {
    {"Defaults", {}, [](CliOptions&) {}},
    {"ShortTexts",
     {"-k", "手机", "-a", "深圳", "-x", "有限"},
     [](CliOptions& o) {
       o.keyword = "手机";
       o.area = "深圳";
       o.exclude = "有限";
     }},
    {"LongTextsWithEquals",
     {"--keyword=a=b", "--area=", "--exclude= x "},
     [](CliOptions& o) {
       o.keyword = "a=b";
       o.exclude = " x ";
     }},
    {"AttachedShortValue",
     {"-kabc", "-o/tmp/x.csv"},
     [](CliOptions& o) {
       o.keyword = "abc";
       o.output = "/tmp/x.csv";
     }},
    {"FlagsBundledBeforeValue",
     {"-qkabc"},
     [](CliOptions& o) {
       o.quiet = true;
       o.keyword = "abc";
     }},
    {"ValueThatLooksLikeOption", {"-k", "-q"}, [](CliOptions& o) { o.keyword = "-q"; }},
    {"LaterValueWins", {"-k", "a", "--keyword", "b"}, [](CliOptions& o) { o.keyword = "b"; }},
    {"ThreadsZeroBecomesOne", {"-t", "0"}, [](CliOptions& o) { o.threadsText = "1"; }},
    {"ThreadsNegativeBecomesOne", {"-t", "-3"}, [](CliOptions& o) { o.threadsText = "1"; }},
    {"Threads51BecomesFifty", {"--threads", "51"}, [](CliOptions& o) { o.threadsText = "50"; }},
    {"Threads99BecomesFifty", {"-t99"}, [](CliOptions& o) { o.threadsText = "50"; }},
    {"ThreadsHugeBecomesFifty",
     {"-t", "99999999999999999999999"},
     [](CliOptions& o) { o.threadsText = "50"; }},
    {"ThreadsOneStays", {"-t", "1"}, [](CliOptions& o) { o.threadsText = "1"; }},
    {"ThreadsFiftyStays", {"-t", "50"}, [](CliOptions& o) { o.threadsText = "50"; }},
    {"TimeoutZero", {"-T", "0"}, [](CliOptions& o) { o.timeoutText = "0"; }},
    {"TimeoutNegative", {"--timeout=-5"}, [](CliOptions& o) { o.timeoutText = "-5"; }},
    {"TimeoutLargest", {"-T", "999"}, [](CliOptions& o) { o.timeoutText = "999"; }},
    {"RequireList",
     {"-r", "contact,QQ, Mobile ,address"},
     [](CliOptions& o) {
       o.required = {CheckBox::RequireContact, CheckBox::RequireQQ, CheckBox::RequireMobile,
                     CheckBox::RequireAddress};
     }},
    {"RequireRepeatedAccumulates",
     {"-r", "phone", "--require=fax,email"},
     [](CliOptions& o) {
       o.required = {CheckBox::RequirePhone, CheckBox::RequireFax, CheckBox::RequireEmail};
     }},
    {"RequireEmptyItemsIgnored",
     {"-r", ",contact,,"},
     [](CliOptions& o) { o.required = {CheckBox::RequireContact}; }},
    {"RequireEmptyList", {"-r", ""}, [](CliOptions&) {}},
    {"SwitchesOff",
     {"--no-swap", "--no-strong-mobile", "--companies-only", "-q"},
     [](CliOptions& o) {
       o.numberSwap = false;
       o.strongMobile = false;
       o.companiesOnly = true;
       o.quiet = true;
     }},
    {"EncodingUtf8",
     {"--encoding", "utf-8"},
     [](CliOptions& o) { o.encoding = CsvEncoding::Utf8WithBom; }},
    {"EncodingUtf8NoHyphenUpperCase",
     {"--encoding=UTF8"},
     [](CliOptions& o) { o.encoding = CsvEncoding::Utf8WithBom; }},
    {"EncodingGbk", {"--encoding", "utf-8", "--encoding", "GBK"}, [](CliOptions&) {}},
    {"SiteConfiguration",
     {"--search-url", "http://h:1/scom?kw=", "--company-base", "http://h:1/", "--link-marker",
      "h:1/"},
     [](CliOptions& o) {
       o.searchUrl = "http://h:1/scom?kw=";
       o.companyBase = "http://h:1/";
       o.linkMarker = "h:1/";
     }},
    {"DoubleDashEndsOptions", {"-q", "--"}, [](CliOptions& o) { o.quiet = true; }},
};

INSTANTIATE_TEST_SUITE_P(Cli, ValidOptions, testing::ValuesIn(kValidCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  const char* messagePart;  // the message must name what is wrong
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class UsageErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(UsageErrors, Rejected) {
  const ErrorCase& c = GetParam();
  const ParseResult result = ParseOptions(c.args);
  EXPECT_EQ(result.outcome, ParseOutcome::UsageError);
  EXPECT_NE(result.error.find(c.messagePart), std::string::npos) << result.error;
}

const ErrorCase kErrorCases[] = {
    {"UnknownLong", {"--bogus"}, "'--bogus'"},
    {"UnknownLongWithValue", {"--bogus=1"}, "'--bogus'"},
    {"AbbreviatedLong", {"--key", "x"}, "'--key'"},
    {"UnknownShort", {"-z"}, "'-z'"},
    {"UnknownShortInBundle", {"-qz"}, "'-z'"},
    {"MissingShortValue", {"-k"}, "'-k' needs a value"},
    {"MissingLongValue", {"-q", "--keyword"}, "'--keyword' needs a value"},
    {"FlagWithValue", {"--quiet=1"}, "takes no value"},
    {"ThreadsNotNumber", {"-t", "abc"}, "'abc'"},
    {"ThreadsEmpty", {"-t", ""}, "thread count"},
    {"ThreadsFraction", {"-t", "1.5"}, "'1.5'"},
    {"ThreadsTrailingText", {"-t", "12abc"}, "'12abc'"},
    {"ThreadsSignOnly", {"-t", "-"}, "thread count"},
    {"TimeoutNotNumber", {"-T", "abc"}, "'abc'"},
    {"TimeoutTooLong", {"-T", "1000"}, "at most 999"},
    {"TimeoutOverflow", {"-T", "99999999999999999999"}, "timeout"},
    {"UnknownEncoding", {"--encoding", "latin1"}, "'latin1'"},
    {"UnknownRequireField", {"-r", "phone,pager"}, "'pager'"},
    {"RequireWrongSeparator", {"-r", "contact;qq"}, "'contact;qq'"},
    {"EmptyOutput", {"-o", ""}, "output"},
    {"EmptySearchUrl", {"--search-url="}, "--search-url"},
    {"Positional", {"-k", "a", "extra"}, "'extra'"},
    {"PositionalAfterDoubleDash", {"--", "-k"}, "'-k'"},
    {"LoneDash", {"-"}, "'-'"},
};

INSTANTIATE_TEST_SUITE_P(Cli, UsageErrors, testing::ValuesIn(kErrorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseOptions, HelpAndVersionWinOverLaterArguments) {
  EXPECT_EQ(ParseOptions({"-k", "x", "--help", "--bogus"}).outcome, ParseOutcome::Help);
  EXPECT_EQ(ParseOptions({"-qh"}).outcome, ParseOutcome::Help);
  EXPECT_EQ(ParseOptions({"--version"}).outcome, ParseOutcome::Version);
  // An error before them is still an error.
  EXPECT_EQ(ParseOptions({"--bogus", "-h"}).outcome, ParseOutcome::UsageError);
}

TEST(SiteConfigFrom, OptionsReplaceOnlyWhatWasGiven) {
  CliOptions options;
  const SiteConfig defaults;
  EXPECT_EQ(SiteConfigFrom(options).searchUrlPrefix, defaults.searchUrlPrefix);
  options.companyBase = "http://example.test/";
  const SiteConfig config = SiteConfigFrom(options);
  EXPECT_EQ(config.companyPageBase, "http://example.test/");
  EXPECT_EQ(config.searchUrlPrefix, defaults.searchUrlPrefix);
  EXPECT_EQ(config.companyLinkMarker, defaults.companyLinkMarker);
}

TEST(SafeFileName, SeparatorsCannotLeaveTheFolder) {
  EXPECT_EQ(SafeFileName("手机--.csv"), "手机--.csv");
  EXPECT_EQ(SafeFileName("../../etc/x--.csv"), ".._.._etc_x--.csv");
  EXPECT_EQ(SafeFileName("/abs-a-.csv"), "_abs-a-.csv");
}

TEST(Progress, SummaryLine) {
  EXPECT_EQ(SummaryLine({3, 45, 44, 2, 42}), "共3页 共45条 第44条 过滤2条 有效42条");
  EXPECT_EQ(SummaryLine({0, 0, 0, 0, -1}), "共0页 共0条 第0条 过滤0条 有效-1条");
}

TEST(Progress, PanelsJoinedInUtf8WithoutEmptyOnes) {
  std::array<Text, 10> panels;
  panels[0] = " \xB9\xD8\xBC\xFC\xD7\xD6:abc";  // " 关键字:abc"
  panels[3] =
      "\xB9\xB2"
      "3\xD2\xB3";            // 共3页
  panels[9] = "1.5\xC3\xEB";  // 1.5秒
  EXPECT_EQ(ProgressText(panels), "1.5秒  共3页   关键字:abc");
}

TEST(Progress, FitToColumnsNeverCutsACharacter) {
  struct Case {
    const char* text;
    int columns;
    const char* expected;
  } cases[] = {
      {"abc", 10, "abc"}, {"abc", 2, "ab"}, {"共3页", 5, "共3页"}, {"共3页", 4, "共3"},
      {"共3页", 1, ""},   {"共3页", 0, ""}, {"a😀b", 3, "a😀"},      {"ab\xE5", 10, "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitToColumns(c.text, c.columns), c.expected) << c.text << " in " << c.columns;
  }
}

}  // namespace
}  // namespace qorvex::cli
