#include "app/qt_text.h"

#include "app/os.h"

#include <QFile>
#include <QStringList>

namespace vq {

QString toQString(std::string_view ansi)
{
    if (ansi.empty())
        return {};
    const std::u16string wide = ansiToUtf16(ansi);
    return QString::fromStdU16String(wide);
}

AnsiString toAnsi(const QString& text)
{
    if (text.isEmpty())
        return {};
    return utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<size_t>(text.size())));
}

QString fromUtf8(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toStdString();
}

std::filesystem::path toPath(const QString& path)
{
    return os::toNativePath(path);
}

QString pathToQString(const std::filesystem::path& path)
{
    return os::fromNativePath(path);
}

QStringList editLines(const QString& text)
{
    if (text.isEmpty())
        return {};
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normalised.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace vq
