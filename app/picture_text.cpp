#include "app/picture_text.h"

#include <tesseract/baseapi.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace vq {

namespace {

constexpr int kTargetHeight = 64; // text scaled to about this many pixels high
constexpr int kBorder = 12;       // white around the text: Tesseract reads edges badly

// One engine for the program's thread (it costs some 100 ms to start).
tesseract::TessBaseAPI* engine()
{
    static std::unique_ptr<tesseract::TessBaseAPI> api = [] {
        auto a = std::make_unique<tesseract::TessBaseAPI>();
        // The model beside the program (the Windows installer puts it there),
        // else where Tesseract looks itself (TESSDATA_PREFIX, the system's).
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/tessdata");
        const QByteArray dir = QFileInfo::exists(beside + QStringLiteral("/eng.traineddata")) ? beside.toUtf8() : QByteArray();
        if (a->Init(dir.isEmpty() ? nullptr : dir.constData(), "eng", tesseract::OEM_LSTM_ONLY) != 0)
            return std::unique_ptr<tesseract::TessBaseAPI>();
        a->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        a->SetVariable("tessedit_char_whitelist", "0123456789-+() ");
#ifdef _WIN32
        a->SetVariable("debug_file", "NUL");
#else
        a->SetVariable("debug_file", "/dev/null");
#endif
        a->SetVariable("user_defined_dpi", "300"); // a picture of a page has no resolution of its own
        return a;
    }();
    return api.get();
}

// Otsu's threshold of a grey picture.
int otsu(const QImage& grey)
{
    std::array<long, 256> histogram{};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++histogram[row[x]];
    }
    const long total = long(grey.width()) * grey.height();
    double sum = 0;
    for (int i = 0; i < 256; ++i)
        sum += double(i) * double(histogram[size_t(i)]);
    double sumBack = 0, best = -1;
    long back = 0;
    int threshold = 128;
    for (int t = 0; t < 256; ++t) {
        back += histogram[size_t(t)];
        if (back == 0)
            continue;
        const long fore = total - back;
        if (fore == 0)
            break;
        sumBack += double(t) * double(histogram[size_t(t)]);
        const double mb = sumBack / double(back), mf = (sum - sumBack) / double(fore);
        const double between = double(back) * double(fore) * (mb - mf) * (mb - mf);
        if (between > best) {
            best = between;
            threshold = t;
        }
    }
    return threshold;
}

// Ink that stands inside the hole of other ink goes: no digit or separator
// has any, but a zero drawn with a dot or a slash inside does, and is read as
// 6 or 8 with it. `ink` is width x height, row by row.
void dropEnclosedInk(std::vector<unsigned char>& ink, int width, int height)
{
    const auto at = [width](int x, int y) { return size_t(y) * size_t(width) + size_t(x); };
    // The background reached from the edges.
    std::vector<unsigned char> outside(ink.size(), 0);
    std::vector<std::pair<int, int>> todo;
    for (int x = 0; x < width; ++x)
        todo.insert(todo.end(), {{x, 0}, {x, height - 1}});
    for (int y = 0; y < height; ++y)
        todo.insert(todo.end(), {{0, y}, {width - 1, y}});
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x < 0 || y < 0 || x >= width || y >= height || ink[at(x, y)] || outside[at(x, y)])
            continue;
        outside[at(x, y)] = 1;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    // Each piece of ink that touches none of it.
    std::vector<unsigned char> seen(ink.size(), 0);
    std::vector<std::pair<int, int>> piece;
    for (int y0 = 0; y0 < height; ++y0) {
        for (int x0 = 0; x0 < width; ++x0) {
            if (!ink[at(x0, y0)] || seen[at(x0, y0)])
                continue;
            piece.clear();
            bool touchesOutside = false;
            todo.assign({{x0, y0}});
            seen[at(x0, y0)] = 1;
            while (!todo.empty()) {
                const auto [x, y] = todo.back();
                todo.pop_back();
                piece.push_back({x, y});
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= width || ny >= height) {
                            touchesOutside = true;
                            continue;
                        }
                        if (!ink[at(nx, ny)]) {
                            touchesOutside = touchesOutside || outside[at(nx, ny)];
                        } else if (!seen[at(nx, ny)]) {
                            seen[at(nx, ny)] = 1;
                            todo.push_back({nx, ny});
                        }
                    }
                }
            }
            if (!touchesOutside)
                for (const auto& [x, y] : piece)
                    ink[at(x, y)] = 0;
        }
    }
}

// Dark text on white, scaled up, with a white border.
QImage prepared(const QImage& picture)
{
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(Qt::white); // a transparent background reads as white
    {
        QPainter p(&flat);
        p.drawImage(0, 0, picture);
    }
    const int scale = std::clamp(int(std::ceil(double(kTargetHeight) / std::max(1, picture.height()))), 1, 8);
    QImage grey = flat.convertToFormat(QImage::Format_Grayscale8)
                      .scaled(picture.width() * scale, picture.height() * scale, Qt::IgnoreAspectRatio,
                              Qt::SmoothTransformation);
    const int threshold = otsu(grey);
    // The background is what most of the border is.
    long dark = 0, edge = 0;
    for (int x = 0; x < grey.width(); ++x) {
        dark += grey.constScanLine(0)[x] <= threshold;
        dark += grey.constScanLine(grey.height() - 1)[x] <= threshold;
        edge += 2;
    }
    const bool invert = dark * 2 > edge;
    const int w = grey.width(), h = grey.height();
    std::vector<unsigned char> ink(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uchar* in = grey.constScanLine(y);
        for (int x = 0; x < w; ++x)
            ink[size_t(y) * size_t(w) + size_t(x)] = (in[x] <= threshold) != invert;
    }
    dropEnclosedInk(ink, w, h);
    QImage out(w + 2 * kBorder, h + 2 * kBorder, QImage::Format_Grayscale8);
    out.fill(255);
    for (int y = 0; y < h; ++y) {
        uchar* row = out.scanLine(y + kBorder) + kBorder;
        for (int x = 0; x < w; ++x)
            row[x] = ink[size_t(y) * size_t(w) + size_t(x)] ? 0 : 255;
    }
    return out;
}

} // namespace

std::string numberInPicture(const QImage& picture)
{
    if (picture.isNull() || picture.width() < 8 || picture.height() < 6 || picture.height() > 200 ||
        picture.width() > 1200)
        return {};
    tesseract::TessBaseAPI* api = engine();
    if (!api)
        return {};
    const QImage image = prepared(picture);
    api->SetImage(image.constBits(), image.width(), image.height(), 1, int(image.bytesPerLine()));
    const std::unique_ptr<char[]> text(api->GetUTF8Text());
    api->Clear();
    std::string number;
    int digits = 0;
    for (const char* c = text.get(); c && *c; ++c) {
        if (*c >= '0' && *c <= '9')
            ++digits;
        // Spaces go: the line's own rules delete them anyway, and a reading
        // puts them around separators at will.
        if ((*c >= '0' && *c <= '9') || *c == '-' || *c == '+' || *c == '(' || *c == ')')
            number += *c;
    }
    return digits >= kMinPictureDigits ? number : std::string();
}

} // namespace vq
