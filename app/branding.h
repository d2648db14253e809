// The program's face: the maker's particulars (caption, status bar, About box,
// tray menu), its icon and font, and the directory it keeps its files in.
#pragma once

#include "app/version.h"

#include <QFont>
#include <QIcon>

#include <filesystem>

namespace vq {

// The maker's particulars, shown in the caption, the status bar, the About box
// and the tray menu.
namespace maker {
inline constexpr const char* kProduct = "『VelqorDornavik』";
inline constexpr const char* kVersion = "V" VQ_VERSION;
inline constexpr const char* kAppTitle = "『VelqorDornavik』V" VQ_VERSION;
inline constexpr const char* kHomePage = "http://www.velqor.example";
inline constexpr const char* kPhone = "010-5555-0100";
inline constexpr const char* kMail = "service@velqor.example";
inline constexpr const char* kContactLine = "联系电话：010-5555-0100";
} // namespace maker

// The program's icon: the window, the tray and the About box.
QIcon programIcon();

// The windows' font: SimSun 12 px where it exists, otherwise a CJK font that does.
QFont formFont();

// The program's directory for this executable: the per-user data directory for
// an installed copy, else its own directory when writable, else the per-user one.
std::filesystem::path defaultProgramDir();

} // namespace vq
