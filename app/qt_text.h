// The one crossing between the system's code page 936 texts and Qt's strings.
#pragma once

#include <QString>
#include <string_view>

#include "text/codepage.h"
#include "text/text.h"

namespace qorvex {

/// Code page 936 bytes as a QString (never QString::fromStdString on such bytes: it assumes UTF-8).
inline QString ToQString(std::string_view ansi) {
  const std::string utf8 = AnsiToUtf8(ansi);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

/// A QString in code page 936; characters the code page lacks become '?'.
inline Text ToAnsi(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToAnsi(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace qorvex
