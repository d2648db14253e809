#include "app/window_geometry.h"

#include "state/search_state.h"
#include "text/integer.h"
#include "text/text_file.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QWidget>

#include <vector>

namespace vq {

void restoreWindowGeometry(QWidget& window, QSplitter& splitter, const std::filesystem::path& programDir)
{
    const std::filesystem::path path = programDir / kWindowFileName;
    std::vector<int> v;
    try {
        if (!fileExists(path))
            return;
        for (const AnsiString& line : loadList(path))
            v.push_back(strToInt(line));
    } catch (const std::exception&) {
        return; // unreadable or not ours: the first size
    }
    if (v.size() < 7 || v[2] < 100 || v[3] < 100 || v[5] < 0 || v[6] < 0)
        return;
    const QRect place(v[0], v[1], v[2], v[3]);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(place);
    window.resize(place.size());
    if (onScreen)
        window.move(place.topLeft());
    splitter.setSizes({v[5], v[6]});
    if (v[4] == 1)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void saveWindowGeometry(const QWidget& window, const QSplitter& splitter, const std::filesystem::path& programDir)
{
    const bool maximized = window.isMaximized();
    // The place of the frame, which move() sets, and the size of the inside,
    // which resize() sets: the client area's own place lies a title bar lower,
    // and saving that would bring the window back lower at every start.
    const QPoint frameOffset = window.geometry().topLeft() - window.frameGeometry().topLeft();
    const QRect inside = maximized ? window.normalGeometry() : window.geometry();
    const QRect place(inside.topLeft() - frameOffset, inside.size());
    const QList<int> sizes = splitter.sizes();
    if (sizes.size() < 2)
        return;
    try {
        saveList(programDir / kWindowFileName,
                 {intToStr(place.x()), intToStr(place.y()), intToStr(place.width()), intToStr(place.height()),
                  maximized ? "1" : "0", intToStr(sizes[0]), intToStr(sizes[1])});
    } catch (const std::exception&) {
        // The program is closing; the previous file stays complete.
    }
}

} // namespace vq
