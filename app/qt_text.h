// Conversions between the program's text and Qt's: ANSI text (code page 936
// bytes) and UTF-8 texts to and from QString, and paths to and from QString.
#pragma once

#include "text/ansi.h"

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// ANSI (code page 936) bytes <-> QString. A character without a code page 936
// form becomes "?" on the way to ANSI.
QString toQString(std::string_view ansi);
AnsiString toAnsi(const QString& text);

// UTF-8 texts (captions, messages, panel texts) <-> QString.
QString fromUtf8(std::string_view utf8);
std::string toUtf8(const QString& text);

// File-system paths <-> QString (the disk's own encoding, no code page 936 step).
std::filesystem::path toPath(const QString& path);
QString pathToQString(const std::filesystem::path& path);

// Lines of a multi-line edit's text, the way an edit control counts them: split
// at line breaks; a last empty line (after a trailing break) is no line.
QStringList editLines(const QString& text);

} // namespace vq
