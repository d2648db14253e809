#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vq {

int installQtTranslations(const QString& directory)
{
    const QString dir = directory.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directory;
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    // Dates, sizes and file types in Qt's dialogs follow the default locale.
    QLocale::setDefault(chinese);
    int installed = 0;
    for (const QString catalogue : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(chinese, catalogue, QStringLiteral("_"), dir) &&
            QCoreApplication::installTranslator(translator)) {
            ++installed;
        } else {
            delete translator;
        }
    }
    return installed;
}

} // namespace vq
