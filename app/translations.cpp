#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vq {

namespace {

// The words of file types ("Folder", "Drive", "File") moved to a context of
// their own in Qt 6, which the zh_CN catalogue does not have yet; the same
// words are in it under the file dialog's context.
class FileTypeWords : public QTranslator {
public:
    FileTypeWords(const QTranslator& catalogue, QObject* parent) : QTranslator(parent), catalogue_(catalogue) {}
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        return catalogue_.translate("QFileDialog", source, disambiguation, n);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator& catalogue_;
};

} // namespace

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
            if (catalogue == QLatin1String("qtbase"))
                QCoreApplication::installTranslator(new FileTypeWords(*translator, translator));
        } else {
            delete translator;
        }
    }
    return installed;
}

} // namespace vq
