#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string_view>
#include <thread>
#include <vector>

namespace qorvex {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kQuestion = "?";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

struct Pair {
  const char* name;
  std::string_view utf8;
  std::string_view ansi;
};

const Pair kRoundTrips[] = {
    {"ASCII", "Hello, <a href=\"x\">!</a>\r\n", "Hello, <a href=\"x\">!</a>\r\n"},
    {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},                          // 中文
    {"keyword", "\xE6\x89\x8B\xE6\x9C\xBA", "\xCA\xD6\xBB\xFA"},                          // 手机
    {"trail byte '@'", "\xE5\x98\x86", "\x87\x40"},                                       // 嘆
    {"trail byte '|'", "\xE5\x84\x84", "\x83\x7C"},                                       // 億
    {"euro sign is 0x80", "\xE2\x82\xAC", "\x80"},                                        // €
    {"full-width space and digit", "\xE3\x80\x80\xEF\xBC\x91", "\xA1\xA1\xA3\xB1"},       // 　１
    {"mixed", "a\xE8\x81\x94\xE7\xB3\xBB\xE4\xBA\xBA:1", "a\xC1\xAA\xCF\xB5\xC8\xCB:1"},  // 联系人
};

TEST(CodePage, RoundTrips) {
  for (const Pair& p : kRoundTrips) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(Utf8ToAnsi(p.utf8), p.ansi);
    EXPECT_EQ(AnsiToUtf8(p.ansi), p.utf8);
  }
}

TEST(CodePage, EmptyAndZeroBytes) {
  EXPECT_EQ(Utf8ToAnsi(""), "");
  EXPECT_EQ(AnsiToUtf8(""), "");
  // A text ends at its first zero byte.
  EXPECT_EQ(Utf8ToAnsi("a\0\xE4\xB8\xAD"sv), "a");
  EXPECT_EQ(AnsiToUtf8("a\0\xD6\xD0"sv), "a");
}

TEST(Utf8ToAnsi, NothingVanishesAndTheRestIsConverted) {
  const Pair cases[] = {
      {"character outside the code page", "a\xF0\x9F\x98\x80\xE4\xB8\xAD", "a?\xD6\xD0"},
      {"zero-width space",
       "a\xE2\x80\x8B"
       "b",
       "a?b"},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "b",
       "?b"},
      {"soft hyphen",
       "a\xC2\xAD"
       "b",
       "a?b"},
      {"zero-width joiner",
       "a\xE2\x80\x8D"
       "b",
       "a?b"},
      // Without best-fit mappings no look-alike replaces a missing character.
      {"superscript two has no best fit", "x\xC2\xB2", "x?"},
      {"invalid byte", "a\xFF\xE4\xB8\xAD", "a?\xD6\xD0"},
      {"overlong form",
       "\xC0\xAF"
       "b",
       "??b"},
      {"encoded surrogate",
       "\xED\xA0\x80"
       "b",
       "???b"},
      {"cut-off sequence in the middle",
       "\xE4\xB8"
       "b",
       "?b"},
      {"cut-off sequence at the end", "b\xE4\xB8", "b?"},
      {"lone continuation byte",
       "\x80"
       "b",
       "?b"},
  };
  for (const Pair& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(AnsiToUtf8, InvalidSequencesBecomeReplacementCharacters) {
  struct Case {
    const char* name;
    std::string_view ansi;
    std::string expected;
  };
  const std::string r(kReplacementUtf8);
  const Case cases[] = {
      {"lone lead byte at the end", "a\x81", "a" + r},
      {"invalid trail byte keeps the byte after it", "\x81 x", r + " x"},
      // The Windows table gives the single byte 0xFF a private-use character.
      {"0xFF as in the Windows table",
       "a\xFF"
       "b",
       "a\xEF\xA3\xB5"
       "b"},
      {"invalid trail 0x7F", "\x81\x7F", r + "\x7F"},
      {"only a lead byte", "\xD6", r},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.expected);
  }
}

// Every two-byte code the table knows converts to UTF-8 and back unchanged, and one byte
// codes that the table lacks never swallow the byte after them.
TEST(CodePage, EveryKnownTwoByteCodeRoundTrips) {
  int known = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string utf8 = AnsiToUtf8(code);
      ASSERT_FALSE(utf8.empty());
      if (utf8.find(kReplacementUtf8) != std::string::npos) continue;
      ++known;
      ASSERT_EQ(Utf8ToAnsi(utf8), code) << std::hex << lead << ' ' << trail;
    }
  }
  EXPECT_GT(known, 21000);
  for (int b = 1; b < 0x80; ++b) {
    const std::string code(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(code)), code);
  }
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), kQuestion);
}

TEST(UrlEncode, Forms) {
  struct Case {
    const char* name;
    std::string_view text;
    bool keepSafe;
    bool toUtf8;
    Text expected;
  };
  const Case cases[] = {
      {"keyword in UTF-8", "\xCA\xD6\xBB\xFA", true, true, "%E6%89%8B%E6%9C%BA"},  // 手机
      {"safe bytes and slash", "a b/c-d.e_f", true, true, "a%20b%2Fc-d.e%5Ff"},
      {"tab gets a leading zero", "\t", true, true, "%09"},
      {"every safe byte", "AZaz09-.", true, true, "AZaz09-."},
      {"tilde, star and others", "~*+&=?", true, true, "%7E%2A%2B%26%3D%3F"},
      {"nothing kept", "aZ1-.", false, true, "%61%5A%31%2D%2E"},
      {"code page bytes", "\xCA\xD6\xBB\xFA", true, false, "%CA%D6%BB%FA"},
      {"code page bytes, nothing kept", "a\xCA", false, false, "%61%CA"},
      {"empty", "", true, true, ""},
      {"ends at a zero byte", "a\0b"sv, true, false, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UrlEncode(c.text, c.keepSafe, c.toUtf8), c.expected);
  }
}

TEST(UrlEncode, DefaultsKeepSafeBytesAndConvert) {
  EXPECT_EQ(UrlEncode("\xB1\xB1\xBE\xA9 a"), "%E5%8C%97%E4%BA%AC%20a");  // 北京
}

// Converters belong to each call: many threads converting at once get the same answers.
TEST(CodePage, ConcurrentConversions) {
  std::string page;
  for (int i = 0; i < 200; ++i) {
    page += "<td>\xE8\x81\x94\xE7\xB3\xBB\xE4\xBA\xBA</td>\xF0\x9F\x98\x80\xE2\x80\x8B\n";
  }
  const Text expectedAnsi = Utf8ToAnsi(page);
  const std::string expectedUtf8 = AnsiToUtf8(expectedAnsi);
  const Text expectedUrl = UrlEncode(expectedAnsi.substr(0, 40));
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        const Text ansi = Utf8ToAnsi(page);
        if (ansi != expectedAnsi || AnsiToUtf8(ansi) != expectedUtf8 ||
            UrlEncode(ansi.substr(0, 40)) != expectedUrl) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int f : failures)
    EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace qorvex
