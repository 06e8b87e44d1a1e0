#include <gtest/gtest.h>

#include <string_view>

#include "text/text.h"

namespace qorvex {
namespace {

using namespace std::string_view_literals;

// Code page 936 characters used below:
//   中 D6 D0, 文 CE C4, 嘆 87 40 (trail '@'), 億 83 7C (trail '|'),
//   81 41 / 81 61 (trail 'A' / 'a'), Ａ A3 C1, ａ A3 E1, full-width space A1 A1.
constexpr std::string_view kZhong = "\xD6\xD0";  // 中
constexpr std::string_view kWen = "\xCE\xC4";    // 文

TEST(TextLength, CountsBytesUpToTheFirstZeroByte) {
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("abc"), 3);
  EXPECT_EQ(TextLength("\xD6\xD0\xCE\xC4"), 4);  // 中文
  EXPECT_EQ(TextLength("ab\0cd"sv), 2);
}

struct FindCase {
  const char* name;
  std::string_view text;
  std::string_view sought;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindText, Table) {
  const FindCase cases[] = {
      {"start 0 is the first byte", "abcabc", "abc", 0, false, 1},
      {"start 1 is the first byte", "abcabc", "abc", 1, false, 1},
      {"negative start is raised", "abcabc", "abc", -7, false, 1},
      {"extreme negative start", "abc", "a", INT32_MIN, false, 1},
      {"position counts from the whole text", "abcabc", "abc", 2, false, 4},
      {"start on the last byte", "abc", "c", 3, false, 3},
      {"start just past the end", "abc", "c", 4, false, -1},
      {"start far beyond the end", "abc", "a", INT32_MAX, false, -1},
      {"no occurrence", "abcabc", "abd", 0, false, -1},
      {"sought longer than text", "ab", "abc", 0, false, -1},
      {"empty text", "", "a", 0, false, -1},
      {"empty sought, start 3, three bytes", "abc", "", 3, false, 1},
      {"empty sought, start 3, two bytes", "ab", "", 3, false, -1},
      {"empty sought in empty text", "", "", 0, false, -1},
      {"no match on trail '@' of 87 40", "\x87\x40", "@", 0, false, -1},
      {"'@' after 87 40", "\x87\x40@", "@", 0, false, 3},
      {"no match on trail '|' of 83 7C", "x\x83\x7C|", "|", 0, false, 4},
      {"trail '|' ignoring case", "\x83\x7C", "|", 0, true, -1},
      {"two-byte sought across characters", "\x87\x40\x87\x40", "\x40\x87", 0, false, -1},
      {"run of high bytes keeps alignment", "\xD6\xD0\xCE\xC4\xD0\xCE", "\xD0\xCE", 0, false, 5},
      {"a start inside a character shifts the walk", "\x87\x40", "@", 2, false, 2},
      {"Chinese sought text", "a\xD6\xD0\xCE\xC4", "\xCE\xC4", 0, false, 4},
      {"cut-off last character can match one byte", "ab\xB0", "\xB0", 0, false, 3},
      {"ignoring case finds a header name", "Host: x\r\nAccept: */*", "accept: ", 0, true, 10},
      {"exact comparison keeps case", "Accept: ", "accept: ", 0, false, -1},
      {"ignoring case, all letters", "xxEMAILyy", "email", 0, true, 3},
      {"ignoring case folds second bytes", "\x81\x61", "\x81\x41", 0, true, 1},
      {"exact does not fold second bytes", "\x81\x61", "\x81\x41", 0, false, -1},
      {"full-width letter is not ASCII", "\xA3\xC1", "a", 0, true, -1},
      {"full-width letters do not fold", "\xA3\xE1", "\xA3\xC1", 0, true, -1},
      {"only letters fold", "a[b", "A{B", 0, true, -1},
      {"ignoring case, trail-byte candidate skipped", "\x81phone/phone/", "PHONE/", 0, true, 8},
      {"text ends at a zero byte", "ab\0cd"sv, "cd", 0, false, -1},
      {"match before a zero byte", "cd\0cd"sv, "cd", 0, false, 1},
      {"empty sought when start is past a zero byte", "ab\0cd"sv, "", 4, false, -1},
      {"sought ends at a zero byte", "abc", "b\0z"sv, 0, false, 2},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignoreCase), c.expected);
  }
}

TEST(FindText, OmittedStartSearchesFromTheFirstByte) {
  EXPECT_EQ(FindText("xabc", "abc", false), 2);
  EXPECT_EQ(FindText("xABC", "abc", true), 2);
  EXPECT_EQ(FindText("\x87\x40", "@", false), -1);
}

TEST(TextCut, LeftRightMid) {
  struct Case {
    const char* name;
    Text result;
    Text expected;
  };
  const Case cases[] = {
      {"left 0", TextLeft("abc", 0), ""},
      {"left negative", TextLeft("abc", -1), ""},
      {"left more than length", TextLeft("abc", 9), "abc"},
      {"left cuts a character in half", TextLeft("\xD6\xD0\xCE\xC4", 1), "\xD6"},
      {"right 2", TextRight("abcd", 2), "cd"},
      {"right 0", TextRight("abc", 0), ""},
      {"right more than length", TextRight("abc", 5), "abc"},
      {"right cuts a character in half", TextRight("\xD6\xD0", 1), "\xD0"},
      {"mid", TextMid("abcdef", 2, 3), "bcd"},
      {"mid start 0 is not raised", TextMid("abc", 0, 2), ""},
      {"mid negative start", TextMid("abc", -1, 2), ""},
      {"mid start past the end", TextMid("abc", 4, 1), ""},
      {"mid start on the last byte", TextMid("abc", 3, 1), "c"},
      {"mid count beyond the rest", TextMid("abcdef", 5, 100), "ef"},
      {"mid count 0", TextMid("abc", 1, 0), ""},
      {"mid extreme count", TextMid("abc", 2, INT32_MAX), "bc"},
      {"mid extreme start", TextMid("abc", INT32_MIN, 2), ""},
      {"left stops at a zero byte", TextLeft("ab\0cd"sv, 4), "ab"},
      {"right counts from the zero byte", TextRight("ab\0cd"sv, 1), "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, c.expected);
  }
}

TEST(ReplaceAll, Table) {
  struct Case {
    const char* name;
    std::string_view text, sought, replacement;
    Text expected;
  };
  const Case cases[] = {
      {"non-overlapping from the left", "aaa", "aa", "b", "ba"},
      {"every occurrence", "a-b-c", "-", "+", "a+b+c"},
      {"replacement not searched again", "ab", "a", "aa", "aab"},
      {"empty replacement deletes", "x qv y qv", "qv", "", "x  y "},
      {"grows", "qv123", "qv", "contact", "contact123"},
      {"empty text", "", "a", "b", ""},
      {"empty sought leaves the text", "abc", "", "x", "abc"},
      {"trail byte never replaced", "\x87\x40@", "@", "#", "\x87\x40#"},
      {"Chinese sought",
       "a\xD6\xD0"
       "b\xD6\xD0",
       "\xD6\xD0", "-", "a-b-"},
      {"cut-off char dropped for one-byte sought", "xa\xB0", "a", "b", "xb"},
      {"cut-off char kept for longer sought", "xab\xB0", "ab", "Q", "xQ\xB0"},
      {"cut-off char kept when nothing matches", "\xB0", "ab", "Q", "\xB0"},
      {"cut-off char on a trail position is no cut-off", "x\xD6\xD0", "y", "z", "x\xD6\xD0"},
      {"cut-off char that matches", "x\xB0", "\xB0", "!", "x!"},
      {"rest shorter than sought kept", "abcab", "abc", "X", "Xab"},
      {"text ends at a zero byte", "a-b\0-c"sv, "-", "+", "a+b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReplaceAll(c.text, c.sought, c.replacement), c.expected);
  }
}

TEST(ReplaceAt, Table) {
  struct Case {
    const char* name;
    Text result;
    Text expected;
  };
  const Case cases[] = {
      {"status line prefix removed", ReplaceAt("HTTP/1.1 200 OK", 1, 12), " OK"},
      {"middle", ReplaceAt("abcdef", 2, 3, "X"), "aXef"},
      {"length beyond the end", ReplaceAt("abc", 2, 100), "a"},
      {"zero length inserts", ReplaceAt("abc", 2, 0, "X"), "aXbc"},
      {"negative length inserts", ReplaceAt("abc", 2, -5, "X"), "aXbc"},
      {"start below 1 held at the first byte", ReplaceAt("abc", -3, 1, "X"), "Xbc"},
      {"start beyond the end appends", ReplaceAt("abc", 10, 2, "X"), "abcX"},
      {"extreme arguments", ReplaceAt("abc", INT32_MIN, INT32_MAX), ""},
      {"empty text", ReplaceAt("", 1, 12), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.result, c.expected);
  }
}

TEST(SplitText, Table) {
  struct Case {
    const char* name;
    std::string_view text, separator;
    TextList expected;
  };
  const Case cases[] = {
      {"empty text has no items", "", ",", {}},
      {"no separator gives one item", "abc", ",", {"abc"}},
      {"empty separator gives the whole text", "a,b", "", {"a,b"}},
      {"k separators give k+1 items", "a,b,c", ",", {"a", "b", "c"}},
      {"trailing separator adds no empty item", "a,b,", ",", {"a", "b"}},
      {"leading separator gives an empty first item", ",a", ",", {"", "a"}},
      {"adjacent separators give an empty item", "a,,b", ",", {"a", "", "b"}},
      {"separator alone", ",", ",", {""}},
      {"two separators alone", ",,", ",", {"", ""}},
      {"multi-byte separator", "a\r\nb\r\n", "\r\n", {"a", "b"}},
      {"trail byte is not a separator", "\x83\x7C|x", "|", {"\x83\x7C", "x"}},
      {"cut-off last character stays in the item", "a,\xB0", ",", {"a", "\xB0"}},
      {"text ends at a zero byte", "a,b\0,c"sv, ",", {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitText(c.text, c.separator), c.expected);
  }
}

TEST(Spaces, RemoveAllSpacesAndIsBlank) {
  struct Case {
    const char* name;
    std::string_view text;
    Text expected;
  };
  const Case cases[] = {
      {"ASCII and full-width spaces around and between", " a\xA1\xA1 b \xA1\xA1", "ab"},
      {"tabs and line breaks remain", "\ta\r\n", "\ta\r\n"},
      {"Chinese kept", "\xD6\xD0 \xCE\xC4", "\xD6\xD0\xCE\xC4"},
      {"A1 A1 across two characters is no space", "\x81\xA1\xA1\x41", "\x81\xA1\xA1\x41"},
      {"cut-off last character left out", "a\xB0", "a"},
      {"only spaces", "  \xA1\xA1", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RemoveAllSpaces(c.text), c.expected);
    EXPECT_EQ(IsBlank(c.text), c.expected.empty());
  }
}

TEST(CaseConversion, OneByteLettersOnly) {
  struct Case {
    const char* name;
    std::string_view text;
    Text upper, lower;
  };
  const Case cases[] = {
      {"ASCII", "aBz09[", "ABZ09[", "abz09["},
      {"second bytes untouched", "\x81\x61\x81\x41", "\x81\x61\x81\x41", "\x81\x61\x81\x41"},
      {"letters after Chinese", "\xD6\xD0x", "\xD6\xD0X", "\xD6\xD0x"},
      {"cut-off character copied", "a\xB0", "A\xB0", "a\xB0"},
      {"full-width letters untouched", "\xA3\xC1\xA3\xE1", "\xA3\xC1\xA3\xE1", "\xA3\xC1\xA3\xE1"},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToUpper(c.text), c.upper);
    EXPECT_EQ(ToLower(c.text), c.lower);
  }
}

TEST(CompareText, UnsignedBytes) {
  struct Case {
    std::string_view a, b;
    int expected;
  };
  const Case cases[] = {
      {"", "", 0},        {"", "a", -1},        {"a", "", 1},     {"abc", "abc", 0},
      {"abc", "abd", -1}, {"ab", "abc", -1},    {"\x80", "a", 1}, {"a", "\xFF", -1},
      {"abc", "ABC", 1},  {"ab\0x"sv, "ab", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.a << "\" vs \"" << c.b << '"');
    EXPECT_EQ(CompareText(c.a, c.b), c.expected);
  }
}

TEST(ConcatText, AllPartsInOrder) {
  EXPECT_EQ(ConcatText({}), "");
  EXPECT_EQ(ConcatText({"", ""}), "");
  EXPECT_EQ(ConcatText({"a", "", kZhong, "b", kWen}),
            "a\xD6\xD0"
            "b\xCE\xC4");
  EXPECT_EQ(ConcatText({"a\0z"sv, "b"}), "ab");
}

TEST(CharFromCode, LowByte) {
  EXPECT_EQ(CharFromCode('A'), "A");
  EXPECT_EQ(CharFromCode(0xB0), "\xB0");
  EXPECT_EQ(CharFromCode(0x141), "A");
  EXPECT_EQ(CharFromCode(0), "");
  // A zero low byte must not put a terminator inside a text.
  EXPECT_EQ(CharFromCode(0x100), "");
  EXPECT_EQ(CharFromCode(-1), "\xFF");
}

TEST(Bytes, Helpers) {
  const ByteBuffer withZero = {'a', 'b', 0, 'c'};
  EXPECT_EQ(BytesToText(withZero), "ab");
  EXPECT_EQ(BytesToText({}), "");
  EXPECT_EQ(BytesToText({0xD6, 0xD0}), "\xD6\xD0");
  EXPECT_EQ(TextToBytes("\xD6\xD0x"), (ByteBuffer{0xD6, 0xD0, 'x'}));
  EXPECT_TRUE(TextToBytes("").empty());
  EXPECT_EQ(ByteCount(withZero), 4);
  EXPECT_EQ(ByteCount({}), 0);
  EXPECT_EQ(BytesLeft(withZero, 3), (ByteBuffer{'a', 'b', 0}));
  EXPECT_EQ(BytesLeft(withZero, 99), withZero);
  EXPECT_TRUE(BytesLeft(withZero, 0).empty());
  EXPECT_TRUE(BytesLeft(withZero, -4).empty());
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(-2), "");
  EXPECT_EQ(BlankBytes(2), (ByteBuffer{0, 0}));
  EXPECT_TRUE(BlankBytes(-1).empty());
}

TEST(TextBetween, Table) {
  // "#引号" stands for a double quote in a marker.
  constexpr std::string_view kQ = "#\xD2\xFD\xBA\xC5";
  const Text quotedBegin = ConcatText({"href=", kQ});
  const Text quotedEnd = Text(kQ);
  struct Case {
    const char* name;
    std::string_view source, begin, end;
    int start;
    bool caseSensitive;
    Text expected;
  };
  const Case cases[] = {
      {"between the markers", "<b>name</b>", "<b>", "</b>", 0, false, "name"},
      {"markers ignore case", "<B>Name</B>", "<b>", "</b>", 0, false, "Name"},
      {"case-sensitive markers", "<B>Name</B>", "<b>", "</b>", 0, true, ""},
      {"begin marker missing", "<b>name</b>", "<i>", "</b>", 0, false, ""},
      {"end marker missing", "<b>name", "<b>", "</b>", 0, false, ""},
      {"end marker only before the begin marker", "</b>x<b>name", "<b>", "</b>", 0, false, ""},
      {"empty between", "<b></b>", "<b>", "</b>", 0, false, ""},
      {"first end marker after the begin marker", "[a]b]", "[", "]", 0, false, "a"},
      {"placeholder in both markers", "<a href=\"u\">", quotedBegin, quotedEnd, 0, false, "u"},
      {"start skips an earlier begin marker", "<b>1</b><b>2</b>", "<b>", "</b>", 5, false, "2"},
      {"empty source", "", "<b>", "</b>", 0, false, ""},
      {"Chinese field", "\xC1\xAA\xCF\xB5\xC8\xCB:\xD5\xC5\xC8\xFD<", ":", "<", 0, false,
       "\xD5\xC5\xC8\xFD"},
      {"trail byte is no end marker",
       "(\x87\x40"
       "a@)",
       "(", "@", 0, false,
       "\x87\x40"
       "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBetween(c.source, c.begin, c.end, c.start, c.caseSensitive), c.expected);
  }
}

}  // namespace
}  // namespace qorvex
