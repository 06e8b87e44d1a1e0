// Text operations on code page 936 byte strings: the walk, search, cut and number rules that
// every parser relies on literally. All functions are pure and keep no state, so any thread may
// call them at any time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

/// Bytes in code page 936. A Text never holds a zero byte (the system's texts end at their
/// first zero byte, see BytesToText); the empty and the missing text are the same value.
using Text = std::string;

/// A count and that many bytes, possibly holding zero bytes (HTTP bodies, file contents).
using ByteBuffer = std::vector<unsigned char>;

/// The ordered result of SplitText; it may have no items and items may be empty.
using TextList = std::vector<Text>;

/// Bytes before the terminator.
int TextLength(std::string_view text);
/// The first n bytes; empty for n <= 0. May cut a two-byte character in half.
Text TextLeft(std::string_view text, int n);
/// The last n bytes; empty for n <= 0.
Text TextRight(std::string_view text, int n);
/// n bytes from the 1-based position start; empty when start < 1, start > length or n <= 0.
Text TextMid(std::string_view text, int start, int n);

/// 1-based position of the first occurrence of sought at a character stop of the walk that
/// begins at start (0 and 1 both mean the first byte; negative is raised to 0), or -1.
/// An empty sought text yields 1 when at least one byte is searched. Ignoring case folds the
/// bytes 'A'-'Z' and 'a'-'z' byte by byte, second bytes of two-byte characters included.
int FindText(std::string_view text, std::string_view sought, int start, bool ignoreCase);
/// FindText with the start position omitted: the search begins at the first byte.
int FindText(std::string_view text, std::string_view sought, bool ignoreCase);

/// Every non-overlapping, character-aligned occurrence replaced, exact comparison.
Text ReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement);
/// Removes up to length bytes at the 1-based position start (held within the text) and inserts
/// replacement there.
Text ReplaceAt(std::string_view text, int start, int length, std::string_view replacement = {});

/// Splits at every character-aligned occurrence of separator; a trailing separator gives no
/// empty last item, a leading one gives an empty first item. An empty text gives no items.
TextList SplitText(std::string_view text, std::string_view separator);

/// The text without ASCII spaces (0x20) and full-width spaces (A1 A1); a cut-off last
/// character is left out too.
Text RemoveAllSpaces(std::string_view text);
/// True when nothing is left after RemoveAllSpaces.
bool IsBlank(std::string_view text);

/// One-byte 'a'-'z' to upper case; two-byte characters are copied unchanged.
Text ToUpper(std::string_view text);
/// One-byte 'A'-'Z' to lower case; two-byte characters are copied unchanged.
Text ToLower(std::string_view text);

/// Unsigned byte comparison: -1, 0 or 1.
int CompareText(std::string_view a, std::string_view b);

/// All bytes of the parts, in order.
Text ConcatText(std::initializer_list<std::string_view> parts);

/// One byte, the low byte of code; the empty text for 0.
Text CharFromCode(int code);

/// The leading decimal number of the text after mapping full-width signs, digits, letters,
/// spaces, tilde and stars to ASCII; 'e', 'E', 'd' and 'D' open an exponent; 0 when none.
double ToNumber(std::string_view text);
/// Truncation toward zero. Values outside the 32-bit range (and NaN) give INT32_MIN, the value
/// the x86 conversion instruction produces, so a huge number never becomes a plausible count.
int32_t ToInteger(double value);
/// "%d".
Text IntegerToText(int64_t value);
/// "%.13g".
Text RealToText(double value);
/// "%X" of the value as an unsigned 32-bit number: 7 -> "7", 255 -> "FF".
Text ByteToHex(int value);

/// The bytes of the text.
ByteBuffer TextToBytes(std::string_view text);
/// The bytes before the first zero byte, or all of them.
Text BytesToText(const ByteBuffer& buffer);
/// Number of bytes.
int ByteCount(const ByteBuffer& buffer);
/// The first max(0, min(n, count)) bytes.
ByteBuffer BytesLeft(const ByteBuffer& buffer, int n);
/// n spaces; empty for n <= 0.
Text BlankText(int n);
/// n zero bytes; empty for n <= 0.
ByteBuffer BlankBytes(int n);

/// The bytes strictly between the first beginMarker found from start and the first endMarker
/// after it; empty when either is missing. "#引号" in a marker stands for a double quote.
Text TextBetween(std::string_view source, std::string_view beginMarker, std::string_view endMarker,
                 int start = 0, bool caseSensitive = false);

}  // namespace qorvex
