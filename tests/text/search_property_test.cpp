// The fast search, and the replace and split built on it, against a literal walk over random
// byte strings that mix ASCII, letters that fold, high bytes and trail-byte look-alikes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "text/text.h"

namespace qorvex {
namespace {

using Byte = unsigned char;

std::string_view Clipped(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool FoldEqual(Byte a, Byte b) {
  auto fold = [](Byte c) -> Byte { return (c >= 'A' && c <= 'Z') ? static_cast<Byte>(c + 32) : c; };
  return fold(a) == fold(b);
}

bool MatchesAt(std::string_view text, size_t i, std::string_view sought, bool ignoreCase) {
  for (size_t k = 0; k < sought.size(); ++k) {
    const Byte a = static_cast<Byte>(text[i + k]);
    const Byte b = static_cast<Byte>(sought[k]);
    if (ignoreCase ? !FoldEqual(a, b) : a != b) return false;
  }
  return true;
}

size_t Advance(std::string_view text, size_t i) {
  return static_cast<Byte>(text[i]) < 0x80 ? 1 : 2;
}

int ReferenceFind(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
  text = Clipped(text);
  sought = Clipped(sought);
  const int64_t len = static_cast<int64_t>(text.size());
  const int64_t s = std::max<int64_t>(int64_t{start} - 1, 0);
  if (s >= len) return -1;
  if (sought.empty()) return 1;
  for (size_t i = static_cast<size_t>(s); i < text.size(); i += Advance(text, i)) {
    if (text.size() - i < sought.size()) break;
    if (MatchesAt(text, i, sought, ignoreCase)) return static_cast<int>(i) + 1;
  }
  return -1;
}

Text ReferenceReplaceAll(std::string_view text, std::string_view sought, std::string_view repl) {
  text = Clipped(text);
  if (text.empty() || sought.empty()) return Text(text);
  Text out;
  size_t i = 0;
  while (i < text.size()) {
    if (text.size() - i < sought.size()) {
      out.append(text.substr(i));
      break;
    }
    if (MatchesAt(text, i, sought, false)) {
      out.append(repl);
      i += sought.size();
      continue;
    }
    const size_t step = Advance(text, i);
    if (i + step > text.size()) break;  // cut-off character
    out.append(text.substr(i, step));
    i += step;
  }
  return out;
}

TextList ReferenceSplit(std::string_view text, std::string_view separator) {
  text = Clipped(text);
  TextList items;
  if (text.empty()) return items;
  if (separator.empty()) return {Text(text)};
  size_t itemStart = 0;
  size_t i = 0;
  while (i < text.size() && text.size() - i >= separator.size()) {
    if (MatchesAt(text, i, separator, false)) {
      items.emplace_back(text.substr(itemStart, i - itemStart));
      i += separator.size();
      itemStart = i;
    } else {
      i += Advance(text, i);
    }
  }
  if (itemStart < text.size()) items.emplace_back(text.substr(itemStart));
  return items;
}

class SearchProperty : public testing::Test {
 protected:
  // Small alphabet so that matches, false matches on trail bytes and long high runs are common.
  Byte RandomByte() {
    static constexpr Byte kAlphabet[] = {'a', 'A',  'b',  'B',  'z',  '@',  '|',  '/',  '=',
                                         ' ', 0x81, 0x87, 0xA1, 0xB0, 0xD6, 0xFE, 0xE1, 0xC1};
    std::uniform_int_distribution<int> pick(0, 200);
    const int r = pick(rng_);
    if (r == 0) return 0;  // an occasional zero byte ends the text early
    return kAlphabet[static_cast<size_t>(r) % std::size(kAlphabet)];
  }

  std::string RandomText(size_t maxLength) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::string text(length(rng_), '\0');
    std::uniform_int_distribution<int> runKind(0, 9);
    for (size_t i = 0; i < text.size(); ++i) {
      // Stretches of high bytes only, like Chinese text, exercise the parity count.
      text[i] = static_cast<char>(runKind(rng_) < 3 ? 0xB0 + (i % 7) : RandomByte());
    }
    return text;
  }

  // Often a piece of the text itself (with its case flipped at random), so that there are hits.
  std::string RandomSought(const std::string& text) {
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<size_t> length(0, 6);
    if (kind(rng_) == 0 || text.empty()) return RandomText(4);
    std::uniform_int_distribution<size_t> from(0, text.size() - 1);
    std::string sought = text.substr(from(rng_), length(rng_));
    std::bernoulli_distribution flip(0.3);
    for (char& c : sought) {
      const Byte b = static_cast<Byte>(c);
      if (((b | 0x20) >= 'a' && (b | 0x20) <= 'z') && flip(rng_)) c = static_cast<char>(b ^ 0x20);
    }
    return sought;
  }

  std::mt19937 rng_{20240611};
};

TEST_F(SearchProperty, FindTextMatchesTheLiteralWalk) {
  // The generator must produce both hits and byte-wise hits that the walk rejects.
  int hits = 0;
  int misaligned = 0;
  for (int round = 0; round < 40000; ++round) {
    const std::string text = RandomText(round % 10 == 0 ? 300 : 40);
    const std::string sought = RandomSought(text);
    std::uniform_int_distribution<int> start(-2, static_cast<int>(text.size()) + 2);
    const int s = start(rng_);
    for (const bool ignoreCase : {false, true}) {
      const int expected = ReferenceFind(text, sought, s, ignoreCase);
      const int actual = FindText(text, sought, s, ignoreCase);
      if (!ignoreCase && !sought.empty() && sought.find('\0') == std::string::npos) {
        const size_t from = static_cast<size_t>(std::max(s - 1, 0));
        const size_t bytewise = Clipped(text).find(sought, from);
        if (expected != -1) ++hits;
        if (bytewise != std::string_view::npos && static_cast<int>(bytewise) + 1 != expected) {
          ++misaligned;
        }
      }
      if (actual != expected) {
        ADD_FAILURE() << "round " << round << " start " << s << " ignoreCase " << ignoreCase
                      << " expected " << expected << " got " << actual
                      << testing::PrintToString(text) << " / " << testing::PrintToString(sought);
        return;
      }
    }
  }
  EXPECT_GT(hits, 5000);
  EXPECT_GT(misaligned, 500);
}

TEST_F(SearchProperty, ReplaceAllAndSplitTextMatchTheLiteralWalk) {
  for (int round = 0; round < 20000; ++round) {
    const std::string text = RandomText(60);
    const std::string sought(Clipped(RandomSought(text)));
    const std::string replacement(Clipped(RandomText(3)));
    const Text expectedReplace = ReferenceReplaceAll(text, sought, replacement);
    const TextList expectedSplit = ReferenceSplit(text, sought);
    ASSERT_EQ(ReplaceAll(text, sought, replacement), expectedReplace)
        << "round " << round << testing::PrintToString(text) << " / "
        << testing::PrintToString(sought);
    ASSERT_EQ(SplitText(text, sought), expectedSplit)
        << "round " << round << testing::PrintToString(text) << " / "
        << testing::PrintToString(sought);
  }
}

// One long run of high bytes with many false candidates: the answer must stay exact.
TEST(SearchLongRuns, FalseCandidatesInsideLongHighRuns) {
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += "\xB0\xB0";
  text += "\xB0";  // the run now has odd length, so the next byte is a trail byte
  text += "aba";
  // The first "a" is the trail byte of the last B0; the second one begins at a stop.
  EXPECT_EQ(FindText(text, "a", false), 10004);
  EXPECT_EQ(FindText(text, "A", true), 10004);
  EXPECT_EQ(FindText(text, "\xB0\xB0", 2, false), 2);
}

// Sought texts longer than the search keeps on its stack.
TEST(SearchLongRuns, LongSoughtText) {
  std::string sought;
  for (int i = 0; i < 70; ++i)
    sought.push_back(static_cast<char>('a' + i % 26));
  const std::string text = "\x81" + sought + sought;
  // The first copy begins on the trail byte of 81 61.
  EXPECT_EQ(FindText(text, sought, false), 72);
  EXPECT_EQ(FindText(text, ToUpper(sought), true), 72);
  EXPECT_EQ(FindText(text, ToUpper(sought), false), -1);
}

}  // namespace
}  // namespace qorvex
