// Numbers drawn as pictures, as pages draw them: text of `px` pixels in a
// font, an ink on a paper colour, as PNG bytes. Header-only; needs Qt GUI.
#pragma once

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace vq::test {

inline QByteArray numberPng(const QString& text, int px, QColor ink, QColor paper,
                            const QString& family = QStringLiteral("DejaVu Sans"))
{
    QFont font(family);
    font.setPixelSize(px);
    const QFontMetrics fm(font);
    QImage image(fm.horizontalAdvance(text) + 6, fm.height() + 4, QImage::Format_ARGB32);
    image.fill(paper);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(3, 2 + fm.ascent(), text);
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace vq::test
