#include "app/branding.h"

#include "app/qt_text.h"
#include "text/paths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QStandardPaths>

// Resources of a static library are registered by name, outside any namespace.
static void initProgramIconResource() { Q_INIT_RESOURCE(velqordornavik); }

namespace vq {

QFont formFont()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString& wanted : {QStringLiteral("SimSun"), QStringLiteral("宋体"),
                                      QStringLiteral("NSimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                                      QStringLiteral("Noto Sans CJK SC"),
                                      QStringLiteral("Droid Sans Fallback")}) {
            if (families.contains(wanted, Qt::CaseInsensitive))
                return wanted;
        }
        return QString();
    }();
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPixelSize(12);
    return font;
}

std::filesystem::path defaultProgramDir()
{
    return chooseProgramDir(toPath(QCoreApplication::applicationDirPath()),
                            toPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)),
                            VQ_APP_ID ".desktop");
}

QIcon programIcon()
{
    static const bool registered = (initProgramIconResource(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/velqordornavik/velqordornavik.png"));
}

} // namespace vq
