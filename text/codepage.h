// Conversions across the border between the site's UTF-8 and the system's code page 936 text,
// and the percent-encoding of search words. Each call uses converters of its own, so any number
// of threads may convert at once.
#pragma once

#include "text/text.h"

namespace qorvex {

/// UTF-8 re-encoded in code page 936 (Windows table). Characters the code page lacks become
/// '?', invalid input is replaced and the rest is always converted completely.
Text Utf8ToAnsi(std::string_view utf8);

/// Code page 936 re-encoded in UTF-8; invalid or cut-off sequences become U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

/// Percent-encoding with two upper-case hex digits. With keepSafeBytes, '-', '.', digits and
/// ASCII letters stay as they are; with convertToUtf8 the UTF-8 bytes of the text are encoded.
Text UrlEncode(std::string_view text, bool keepSafeBytes = true, bool convertToUtf8 = true);

}  // namespace qorvex
