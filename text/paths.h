// The file-system boundary: the program keeps paths as ANSI text (code page 936),
// the disk names files in the locale's encoding (UTF-8), or in UTF-16 on
// Windows. Convert only here.
#pragma once

#include "text/ansi.h"

#include <filesystem>

namespace vq {

// ANSI path text to a file-system path.
std::filesystem::path ansiToPath(std::string_view ansi);

// File-system path to ANSI text. Throws EPathEncodingError, naming the path,
// when a character of it has no code page 936 form (never mangles it).
AnsiString pathToAnsi(const std::filesystem::path& path);

// UTF-8 text of a path, for messages; and the path named by UTF-8 text.
std::string pathToUtf8(const std::filesystem::path& path);
std::filesystem::path utf8ToPath(std::string_view utf8);

// The directory of the running executable; empty when the system does not say.
std::filesystem::path executableDirectory();

// The program's directory: the executable's directory when it is writable,
// otherwise the per-user data directory given by the caller (created if needed).
// An installed copy always takes the per-user directory, even when its own
// directory is writable (run by root): a copy is installed when the prefix
// above its directory holds its menu entry, share/applications/`desktopEntry`.
// With no `desktopEntry`, no copy counts as installed.
std::filesystem::path chooseProgramDir(const std::filesystem::path& executableDir,
                                       const std::filesystem::path& userDataDir,
                                       std::string_view desktopEntry = {});

} // namespace vq
