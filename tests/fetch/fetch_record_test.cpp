#include <gtest/gtest.h>

#include "fetch/fetch.h"

namespace qorvex {
namespace {

TEST(FetchRecord, TextAndBytesUseTheirEncodings) {
  FetchRecord record;
  record.WriteText("ab");
  record.WriteBytes({1, 0, 2});
  record.WriteText("");
  record.WriteBytes({});
  record.Rewind();
  EXPECT_EQ(record.ReadText(), "ab");
  EXPECT_EQ(record.ReadBytes(), (ByteBuffer{1, 0, 2}));
  EXPECT_EQ(record.ReadText(), "");
  EXPECT_EQ(record.ReadBytes(), ByteBuffer{});

  // The same bytes read as texts show the layout: "ab" 0, length 3 little-endian, 1 0 2, ...
  record.Rewind();
  EXPECT_EQ(record.ReadText(), "ab");
  EXPECT_EQ(record.ReadText(), "\x03");
  EXPECT_EQ(record.ReadText(), "");
  EXPECT_EQ(record.ReadText(), "");
  EXPECT_EQ(record.ReadText(), "\x01");
  EXPECT_EQ(record.ReadText(), "\x02");
}

TEST(FetchRecord, TextStopsAtItsFirstZeroByte) {
  FetchRecord record;
  record.WriteText(std::string("a\0b", 3));
  record.WriteText("next");
  record.Rewind();
  EXPECT_EQ(record.ReadText(), "a");
  EXPECT_EQ(record.ReadText(), "next");
}

TEST(FetchRecord, ReadingPastTheEndGivesEmptyFields) {
  FetchRecord empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.ReadText(), "");
  EXPECT_EQ(empty.ReadBytes(), ByteBuffer{});

  // A length that claims more bytes than remain: that field and every later one are empty.
  FetchRecord claimsTooMuch;
  claimsTooMuch.WriteText("\x05\x01\x01");
  claimsTooMuch.WriteText("later");
  claimsTooMuch.Rewind();
  EXPECT_EQ(claimsTooMuch.ReadBytes(), ByteBuffer{});
  EXPECT_EQ(claimsTooMuch.ReadText(), "");

  // Fewer than four bytes left for a length.
  FetchRecord shortLength;
  shortLength.WriteText("\x01\x01");
  shortLength.Rewind();
  EXPECT_EQ(shortLength.ReadBytes(), ByteBuffer{});

  // A text without its zero byte at the end of the record.
  FetchRecord unterminated;
  unterminated.WriteBytes({'a', 'b'});
  unterminated.Rewind();
  EXPECT_EQ(unterminated.ReadText(), "\x02");
  EXPECT_EQ(unterminated.ReadText(), "");
  EXPECT_EQ(unterminated.ReadText(), "");
  EXPECT_EQ(unterminated.ReadText(), "");
  EXPECT_EQ(unterminated.ReadBytes(), ByteBuffer{});
}

TEST(FetchRecord, ClearEmptiesAndRewinds) {
  FetchRecord record;
  record.WriteText("Quillon");
  record.ReadText();
  record.Clear();
  EXPECT_TRUE(record.Empty());
  record.WriteText("x");
  EXPECT_EQ(record.ReadText(), "x");
}

}  // namespace
}  // namespace qorvex
