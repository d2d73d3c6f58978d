#pragma once
#include <QFont>
#include <QString>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace velmora {

// Code page 932 bytes as Qt text, through the core's table; a byte sequence that is not a
// code page 932 character shows as U+FFFD.
QString Cp932ToQString(std::string_view bytes);
// Qt text as code page 932 bytes; a character code page 932 does not have becomes '?'.
std::string QStringToCp932(const QString& text);
// UTF-8 texts of the core (menus, dialogs, messages) as Qt text.
inline QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The terminal font's description and Qt's font: face, height in pixels (a negative LOGFONT
// height is the character height, a positive one the cell height), weight, italic; the
// character set is kept in the description only.
QFont LogFontToQFont(const LogFont& description);
LogFont QFontToLogFont(const QFont& font, uint8_t charSet);

}  // namespace velmora
