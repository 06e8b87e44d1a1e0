#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstring>
#include <limits>

namespace qorvex {

namespace {

using Byte = unsigned char;

const Byte* Bytes(std::string_view text) {
  return reinterpret_cast<const Byte*>(text.data());
}

// Positions are 32-bit, so longer views are treated as if they ended there.
std::string_view Bounded(std::string_view text) {
  constexpr size_t kMax = static_cast<size_t>(INT_MAX);
  return text.size() > kMax ? text.substr(0, kMax) : text;
}

// A text ends at its first zero byte.
std::string_view Clip(std::string_view text) {
  text = Bounded(text);
  if (text.empty()) return {};  // its data may be null, which memchr must not see
  const void* zero = std::memchr(text.data(), 0, text.size());
  if (zero != nullptr) text = text.substr(0, static_cast<const char*>(zero) - text.data());
  return text;
}

bool IsHigh(Byte b) {
  return b >= 0x80;
}
bool IsLetter(Byte b) {
  return static_cast<Byte>((b | 0x20) - 'a') < 26;
}
Byte Fold(Byte b) {
  return IsLetter(b) ? static_cast<Byte>(b | 0x20) : b;
}

// Every run of bytes >= 0x80 begins at a stop of the walk: the byte before it is either a
// one-byte character or a trail byte, and both are followed by a stop. So p is a stop iff the
// run of high bytes just before it has even length. `known` is a stop at or before p and
// bounds the backward count.
bool IsStop(const Byte* d, size_t known, size_t p) {
  size_t i = p;
  while (i > known && IsHigh(d[i - 1]))
    --i;
  return ((p - i) & 1) == 0;
}

bool FoldEqual(const Byte* a, const Byte* foldedSought, size_t m) {
  for (size_t i = 0; i < m; ++i) {
    if (Fold(a[i]) != foldedSought[i]) return false;
  }
  return true;
}

// A rough share per mille of each byte in a page of HTML markup and Chinese text; the search
// ignoring case anchors on the rarest byte of the sought text.
int ByteWeight(Byte b) {
  if (IsHigh(b)) return 8;
  if (IsLetter(b)) {
    switch (b | 0x20) {
      case 'e':
      case 't':
      case 'a':
      case 'i':
      case 'n':
      case 'o':
      case 's':
      case 'r':
        return 45;
      case 'l':
      case 'd':
      case 'c':
      case 'h':
      case 'p':
      case 'm':
      case 'u':
        return 28;
      case 'j':
      case 'q':
      case 'x':
      case 'z':
        return 3;
      default:
        return 14;
    }
  }
  switch (b) {
    case ' ':
      return 120;
    case '<':
    case '>':
    case '"':
    case '=':
    case '/':
      return 30;
    case '\n':
    case '\r':
    case '\t':
    case '.':
      return 12;
    case ':':
    case ';':
    case '-':
    case '_':
    case '\'':
      return 6;
    default:
      return (b >= '0' && b <= '9') ? 6 : 2;
  }
}

// First stop at or after s (s itself is a stop) where sought matches exactly, or npos.
// Zero bytes in d count as ordinary one-byte characters here.
size_t FindExactFrom(std::string_view d, std::string_view sought, size_t s) {
  const size_t n = d.size();
  const size_t m = sought.size();
  const Byte* base = Bytes(d);
  size_t known = s;
  size_t pos = s;
  while (pos + m <= n) {
    const void* hit = (m == 1) ? std::memchr(base + pos, Bytes(sought)[0], n - pos)
                               : memmem(base + pos, n - pos, sought.data(), m);
    if (hit == nullptr) return std::string_view::npos;
    const size_t p = static_cast<const Byte*>(hit) - base;
    if (IsStop(base, known, p)) return p;
    // p is a trail byte, so the byte after it is a stop; this keeps the backward counts linear.
    known = p + 1;
    pos = p + 1;
  }
  return std::string_view::npos;
}

// The same ignoring the case of ASCII letters: candidates come from memchr on one anchor byte
// of the sought text (both cases when it is a letter) and are verified by a folding compare.
size_t FindFoldFrom(std::string_view d, std::string_view sought, size_t s) {
  const size_t n = d.size();
  const size_t m = sought.size();
  if (s > n || n - s < m) return std::string_view::npos;
  const Byte* base = Bytes(d);

  Byte foldedSmall[64];
  std::string foldedLarge;
  Byte* folded = foldedSmall;
  if (m > sizeof foldedSmall) {
    foldedLarge.resize(m);
    folded = reinterpret_cast<Byte*>(foldedLarge.data());
  }
  size_t anchor = 0;
  int best = INT_MAX;
  for (size_t i = 0; i < m; ++i) {
    const Byte b = Bytes(sought)[i];
    folded[i] = Fold(b);
    const int weight = ByteWeight(b);
    if (weight < best) {
      best = weight;
      anchor = i;
    }
  }
  const Byte lower = folded[anchor];
  const bool twoCases = IsLetter(lower);
  const Byte upper = twoCases ? static_cast<Byte>(lower & ~0x20) : lower;

  // Anchor positions q run over [s + anchor, last]; the candidate is q - anchor.
  const size_t last = n - m + anchor;
  const Byte* const none = base + last + 1;
  auto next = [&](Byte c, size_t from) -> const Byte* {
    const void* hit = std::memchr(base + from, c, last + 1 - from);
    return hit ? static_cast<const Byte*>(hit) : none;
  };
  size_t cursor = s + anchor;
  const Byte* hitLower = next(lower, cursor);
  const Byte* hitUpper = twoCases ? next(upper, cursor) : none;
  size_t known = s;
  while (true) {
    const Byte* hit = hitLower < hitUpper ? hitLower : hitUpper;
    if (hit == none) return std::string_view::npos;
    const size_t q = hit - base;
    const size_t p = q - anchor;
    if (FoldEqual(base + p, folded, m)) {
      if (IsStop(base, known, p)) return p;
      known = p + 1;
    }
    cursor = q + 1;
    if (cursor > last) return std::string_view::npos;
    if (hitLower == hit) hitLower = next(lower, cursor);
    if (hitUpper == hit) hitUpper = next(upper, cursor);
  }
}

size_t FindFrom(std::string_view d, std::string_view sought, size_t s, bool ignoreCase) {
  if (s > d.size() || d.size() - s < sought.size()) return std::string_view::npos;
  return ignoreCase ? FindFoldFrom(d, sought, s) : FindExactFrom(d, sought, s);
}

// Stands for a double quote inside a marker of TextBetween.
constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";  // #引号

bool HasZero(std::string_view d, size_t count) {
  return std::memchr(d.data(), 0, count) != nullptr;
}

}  // namespace

int TextLength(std::string_view text) {
  return static_cast<int>(Clip(text).size());
}

Text TextLeft(std::string_view text, int n) {
  text = Clip(text);
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(n)));
}

Text TextRight(std::string_view text, int n) {
  text = Clip(text);
  if (n <= 0) return {};
  const size_t count = std::min(static_cast<size_t>(n), text.size());
  return Text(text.substr(text.size() - count));
}

Text TextMid(std::string_view text, int start, int n) {
  text = Clip(text);
  const int64_t p = static_cast<int64_t>(start) - 1;
  if (p < 0 || p >= static_cast<int64_t>(text.size()) || n <= 0) return {};
  return Text(text.substr(static_cast<size_t>(p), static_cast<size_t>(n)));
}

int FindText(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
  // The text is searched as a whole and a zero byte is looked for only up to a match, which
  // gives the same answer as cutting the text at its first zero byte beforehand.
  text = Bounded(text);
  sought = Clip(sought);
  int64_t from = static_cast<int64_t>(start) - 1;
  if (from < 0) from = 0;
  if (from >= static_cast<int64_t>(text.size())) return -1;
  const size_t s = static_cast<size_t>(from);
  if (sought.empty()) return HasZero(text, s + 1) ? -1 : 1;
  const size_t p = FindFrom(text, sought, s, ignoreCase);
  if (p == std::string_view::npos || HasZero(text, p + sought.size())) return -1;
  return static_cast<int>(p) + 1;
}

int FindText(std::string_view text, std::string_view sought, bool ignoreCase) {
  return FindText(text, sought, 0, ignoreCase);
}

Text ReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement) {
  text = Clip(text);
  sought = Clip(sought);
  replacement = Clip(replacement);
  if (text.empty() || sought.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  size_t pos = 0;
  while (true) {
    const size_t p = FindExactFrom(text, sought, pos);
    if (p == std::string_view::npos) break;
    out.append(text, pos, p - pos);
    out.append(replacement);
    pos = p + sought.size();
  }
  size_t end = text.size();
  // A one-byte sought text lets the walk reach a cut-off last character, which it drops.
  if (sought.size() == 1 && end > pos && IsHigh(Bytes(text)[end - 1]) &&
      IsStop(Bytes(text), pos, end - 1)) {
    --end;
  }
  out.append(text, pos, end - pos);
  return out;
}

Text ReplaceAt(std::string_view text, int start, int length, std::string_view replacement) {
  text = Clip(text);
  replacement = Clip(replacement);
  const int64_t len = static_cast<int64_t>(text.size());
  const int64_t p = std::clamp<int64_t>(static_cast<int64_t>(start) - 1, 0, len);
  const int64_t removed = length > 0 ? std::min<int64_t>(length, len - p) : 0;
  Text out;
  out.reserve(static_cast<size_t>(len - removed) + replacement.size());
  out.append(text.substr(0, static_cast<size_t>(p)));
  out.append(replacement);
  out.append(text.substr(static_cast<size_t>(p + removed)));
  return out;
}

TextList SplitText(std::string_view text, std::string_view separator) {
  text = Clip(text);
  separator = Clip(separator);
  TextList items;
  if (text.empty()) return items;
  if (separator.empty()) {
    items.emplace_back(text);
    return items;
  }
  size_t pos = 0;
  while (true) {
    const size_t p = FindExactFrom(text, separator, pos);
    if (p == std::string_view::npos) break;
    items.emplace_back(text.substr(pos, p - pos));
    pos = p + separator.size();
  }
  if (pos < text.size()) items.emplace_back(text.substr(pos));
  return items;
}

Text RemoveAllSpaces(std::string_view text) {
  text = Clip(text);
  const Byte* d = Bytes(text);
  const size_t n = text.size();
  Text out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    if (!IsHigh(d[i])) {
      if (d[i] != ' ') out.push_back(static_cast<char>(d[i]));
      ++i;
    } else if (i + 1 < n) {
      if (!(d[i] == 0xA1 && d[i + 1] == 0xA1)) out.append(text, i, 2);
      i += 2;
    } else {
      break;  // cut-off character
    }
  }
  return out;
}

bool IsBlank(std::string_view text) {
  text = Clip(text);
  const Byte* d = Bytes(text);
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (!IsHigh(d[i])) {
      if (d[i] != ' ') return false;
      ++i;
    } else if (i + 1 < n) {
      if (!(d[i] == 0xA1 && d[i + 1] == 0xA1)) return false;
      i += 2;
    } else {
      break;
    }
  }
  return true;
}

namespace {

Text ConvertCase(std::string_view text, Byte from, Byte to) {
  text = Clip(text);
  Text out(text);
  const size_t n = out.size();
  size_t i = 0;
  while (i < n) {
    const Byte b = static_cast<Byte>(out[i]);
    if (IsHigh(b)) {
      i += 2;  // both bytes unchanged; a cut-off character ends the loop
      continue;
    }
    if (b >= from && b <= static_cast<Byte>(from + 25)) {
      out[i] = static_cast<char>(b - from + to);
    }
    ++i;
  }
  return out;
}

}  // namespace

Text ToUpper(std::string_view text) {
  return ConvertCase(text, 'a', 'A');
}

Text ToLower(std::string_view text) {
  return ConvertCase(text, 'A', 'a');
}

int CompareText(std::string_view a, std::string_view b) {
  a = Clip(a);
  b = Clip(b);
  const int c = a.compare(b);  // char_traits<char> compares as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Text ConcatText(std::initializer_list<std::string_view> parts) {
  size_t total = 0;
  for (std::string_view part : parts)
    total += Clip(part).size();
  Text out;
  out.reserve(total);
  for (std::string_view part : parts)
    out.append(Clip(part));
  return out;
}

Text CharFromCode(int code) {
  const char c = static_cast<char>(static_cast<unsigned>(code) & 0xFF);
  // A low byte of zero would put a terminator inside the text.
  if (c == 0) return {};
  return Text(1, c);
}

namespace {

// One character of the text as ToNumber sees it: full-width forms mapped to ASCII.
struct MappedChar {
  char c;      // 0 when the character cannot be part of a number
  size_t len;  // bytes it takes in the text
};

MappedChar MapAt(const Byte* d, size_t n, size_t i) {
  const Byte b = d[i];
  if (!IsHigh(b)) return {static_cast<char>(b), 1};
  if (i + 1 >= n) return {0, 1};
  const Byte t = d[i + 1];
  if (b == 0xA3 && t >= 0xA1 && t <= 0xFE) return {static_cast<char>(t - 0x80), 2};
  if (b == 0xA1) {
    if (t == 0xA1) return {' ', 2};
    if (t == 0xAB) return {'~', 2};
    if (t == 0xEE || t == 0xEF) return {'*', 2};
  }
  return {0, 2};
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

double ToNumber(std::string_view text) {
  text = Clip(text);
  const Byte* d = Bytes(text);
  const size_t n = text.size();
  size_t i = 0;
  auto peekAt = [&](size_t at) { return at < n ? MapAt(d, n, at) : MappedChar{0, 0}; };

  for (MappedChar ch = peekAt(i); ch.c == ' ' || (ch.c >= '\t' && ch.c <= '\r'); ch = peekAt(i)) {
    i += ch.len;
  }
  // The validated number in plain ASCII, for a conversion that never consults the locale.
  std::string ascii;
  bool negative = false;
  if (MappedChar ch = peekAt(i); ch.c == '+' || ch.c == '-') {
    negative = ch.c == '-';
    if (negative) ascii.push_back('-');
    i += ch.len;
  }
  // Decimal position of the leading non-zero digit (1 for "5", 0 for "0.5", -1 for "0.05"),
  // which tells overflow from underflow.
  int64_t magnitude = 0;
  bool seenNonZero = false;
  size_t digits = 0;
  bool inFraction = false;
  for (MappedChar ch = peekAt(i);; ch = peekAt(i)) {
    if (IsDigit(ch.c)) {
      if (ch.c != '0') seenNonZero = true;
      if (!inFraction && seenNonZero) ++magnitude;
      if (inFraction && !seenNonZero) --magnitude;
      ++digits;
    } else if (ch.c == '.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
    ascii.push_back(ch.c);
    i += ch.len;
  }
  if (digits == 0) return 0.0;

  // The exponent counts only when at least one digit follows its letter and sign.
  int64_t exponent = 0;
  if (MappedChar ch = peekAt(i); ch.c == 'e' || ch.c == 'E' || ch.c == 'd' || ch.c == 'D') {
    size_t j = i + ch.len;
    std::string part = "e";
    bool exponentNegative = false;
    if (MappedChar sign = peekAt(j); sign.c == '+' || sign.c == '-') {
      exponentNegative = sign.c == '-';
      part.push_back(sign.c);
      j += sign.len;
    }
    bool any = false;
    for (MappedChar digit = peekAt(j); IsDigit(digit.c); digit = peekAt(j)) {
      part.push_back(digit.c);
      exponent = std::min<int64_t>(exponent * 10 + (digit.c - '0'), int64_t{1} << 40);
      any = true;
      j += digit.len;
    }
    if (any) {
      ascii += part;
      if (exponentNegative) exponent = -exponent;
    } else {
      exponent = 0;
    }
  }

  double value = 0.0;
  const auto result =
      std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // As strtod reports it: infinity on overflow, zero on underflow.
    value = seenNonZero && magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  } else if (result.ec != std::errc()) {
    return 0.0;
  }
  return value;
}

int32_t ToInteger(double value) {
  // Inside this open interval truncation fits 32 bits; NaN fails both comparisons.
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int32_t>(value);
  return INT32_MIN;
}

Text IntegerToText(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text RealToText(double value) {
  // to_chars never consults the locale, unlike printf, whose decimal point a front end's
  // setlocale call could change.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  return Text(buffer, result.ptr);
}

Text ByteToHex(int value) {
  char buffer[16];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<uint32_t>(value), 16);
  for (char* c = buffer; c != result.ptr; ++c) {
    if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return Text(buffer, result.ptr);
}

ByteBuffer TextToBytes(std::string_view text) {
  text = Clip(text);
  return ByteBuffer(Bytes(text), Bytes(text) + text.size());
}

Text BytesToText(const ByteBuffer& buffer) {
  const std::string_view all(reinterpret_cast<const char*>(buffer.data()), buffer.size());
  return Text(Clip(all));
}

int ByteCount(const ByteBuffer& buffer) {
  return static_cast<int>(std::min<size_t>(buffer.size(), INT_MAX));
}

ByteBuffer BytesLeft(const ByteBuffer& buffer, int n) {
  if (n <= 0) return {};
  const size_t count = std::min(static_cast<size_t>(n), buffer.size());
  return ByteBuffer(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
}

Text BlankText(int n) {
  return n > 0 ? Text(static_cast<size_t>(n), ' ') : Text();
}

ByteBuffer BlankBytes(int n) {
  return n > 0 ? ByteBuffer(static_cast<size_t>(n), 0) : ByteBuffer();
}

Text TextBetween(std::string_view source, std::string_view beginMarker, std::string_view endMarker,
                 int start, bool caseSensitive) {
  const Text begin = ReplaceAll(beginMarker, kQuotePlaceholder, "\"");
  const Text end = ReplaceAll(endMarker, kQuotePlaceholder, "\"");
  const bool ignoreCase = !caseSensitive;
  int p = FindText(source, begin, start, ignoreCase);
  if (p == -1) return {};
  p += TextLength(begin);
  const int q = FindText(source, end, p, ignoreCase);
  if (q == -1) return {};
  return TextMid(source, p, q - p);
}

}  // namespace qorvex
