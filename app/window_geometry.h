// Where the main window was: "vqwindow.ini" in the program's directory, seven
// lines of integer text: x, y, width, height of the window (as it is when not
// maximised), 1 when maximised else 0, and the heights of the splitter's two
// parts (the result lists, the browser).
#pragma once

#include <filesystem>

class QSplitter;
class QWidget;

namespace vq {

inline constexpr const char* kWindowFileName = "vqwindow.ini";

// Applies the file when it exists and makes sense; otherwise the window keeps
// its first size and place. A place on no screen is not taken.
void restoreWindowGeometry(QWidget& window, QSplitter& splitter, const std::filesystem::path& programDir);
// Writes the file (atomically); failures are ignored, the program is closing.
void saveWindowGeometry(const QWidget& window, const QSplitter& splitter, const std::filesystem::path& programDir);

} // namespace vq
