#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <climits>
#include <cstring>
#include <memory>

namespace qorvex {

namespace {

// ICU's table taken from Windows. The shorter alias "windows-936" is ambiguous in ICU.
constexpr const char* kCodePage936 = "windows-936-2000";

std::string_view Clip(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT32_MAX)) text = text.substr(0, INT32_MAX);
  if (text.empty()) return {};  // its data may be null, which memchr must not see
  const void* zero = std::memchr(text.data(), 0, text.size());
  if (zero != nullptr) text = text.substr(0, static_cast<const char*>(zero) - text.data());
  return text;
}

// ICU's own substitution drops default-ignorable characters such as U+200B without a trace;
// every character the code page lacks must leave a '?' instead.
void WriteQuestionMark(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t, UChar32,
                       UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close and clone events
  *err = U_ZERO_ERROR;
  ucnv_cbFromUWriteBytes(args, "?", 1, 0, err);
}

void WriteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                               UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
}

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter of the caller's own: ICU converters must not be shared between threads.
Converter OpenCodePage936() {
  UErrorCode err = U_ZERO_ERROR;
  Converter converter(ucnv_open(kCodePage936, &err));
  if (U_FAILURE(err) || !converter) return nullptr;
  // No best-fit mappings: a character the code page lacks becomes '?', never a look-alike
  // ASCII sign that a marker search could then match.
  ucnv_setFallback(converter.get(), false);
  ucnv_setFromUCallBack(converter.get(), WriteQuestionMark, nullptr, nullptr, nullptr, &err);
  ucnv_setToUCallBack(converter.get(), WriteReplacementCharacter, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return nullptr;
  return converter;
}

std::u16string Utf8ToWide(std::string_view utf8) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  const auto size = static_cast<int32_t>(utf8.size());
  u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), size, 0xFFFD, nullptr, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return {};
  std::u16string wide(static_cast<size_t>(length), u'\0');
  err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(wide.data(), length, &length, utf8.data(), size, 0xFFFD, nullptr, &err);
  if (U_FAILURE(err)) return {};
  wide.resize(static_cast<size_t>(length));
  return wide;
}

std::string WideToUtf8(const std::u16string& wide) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t length = 0;
  const auto size = static_cast<int32_t>(wide.size());
  u_strToUTF8WithSub(nullptr, 0, &length, wide.data(), size, 0xFFFD, nullptr, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return {};
  std::string utf8(static_cast<size_t>(length), '\0');
  err = U_ZERO_ERROR;
  u_strToUTF8WithSub(utf8.data(), length, &length, wide.data(), size, 0xFFFD, nullptr, &err);
  if (U_FAILURE(err)) return {};
  utf8.resize(static_cast<size_t>(length));
  return utf8;
}

std::u16string AnsiToWide(std::string_view ansi) {
  Converter converter = OpenCodePage936();
  if (!converter) return {};
  UErrorCode err = U_ZERO_ERROR;
  const auto size = static_cast<int32_t>(ansi.size());
  const int32_t length = ucnv_toUChars(converter.get(), nullptr, 0, ansi.data(), size, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return {};
  std::u16string wide(static_cast<size_t>(length), u'\0');
  err = U_ZERO_ERROR;
  const int32_t written =
      ucnv_toUChars(converter.get(), wide.data(), length, ansi.data(), size, &err);
  if (U_FAILURE(err)) return {};
  wide.resize(static_cast<size_t>(written));
  return wide;
}

Text WideToAnsi(const std::u16string& wide) {
  Converter converter = OpenCodePage936();
  if (!converter) return {};
  UErrorCode err = U_ZERO_ERROR;
  const auto size = static_cast<int32_t>(wide.size());
  const int32_t length = ucnv_fromUChars(converter.get(), nullptr, 0, wide.data(), size, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return {};
  Text ansi(static_cast<size_t>(length), '\0');
  err = U_ZERO_ERROR;
  const int32_t written =
      ucnv_fromUChars(converter.get(), ansi.data(), length, wide.data(), size, &err);
  if (U_FAILURE(err)) return {};
  ansi.resize(static_cast<size_t>(written));
  return ansi;
}

}  // namespace

Text Utf8ToAnsi(std::string_view utf8) {
  utf8 = Clip(utf8);
  if (utf8.empty()) return {};
  return WideToAnsi(Utf8ToWide(utf8));
}

std::string AnsiToUtf8(std::string_view ansi) {
  ansi = Clip(ansi);
  if (ansi.empty()) return {};
  return WideToUtf8(AnsiToWide(ansi));
}

Text UrlEncode(std::string_view text, bool keepSafeBytes, bool convertToUtf8) {
  const std::string converted = convertToUtf8 ? AnsiToUtf8(text) : std::string(Clip(text));
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(converted.size() * 3);
  for (const char c : converted) {
    const auto b = static_cast<unsigned char>(c);
    const bool safe = b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                      (b >= 'a' && b <= 'z');
    if (keepSafeBytes && safe) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

}  // namespace qorvex
