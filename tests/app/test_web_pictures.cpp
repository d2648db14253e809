// Numbers drawn as pictures ("识别图片号码" / --ocr) against a real Qt WebEngine
// on pictures this test draws: a picture after a fax marker is fetched and
// read in place; a picture after another word, or after a number, is never
// fetched; off, no picture is fetched at all.
#include "app/picture_text.h"
#include "app/web_browser.h"
#include "search/fax_extractor.h"
#include "text/ansi.h"
#include "tests/support/event_wait.h"
#include "tests/support/number_pictures.h"
#include "tests/support/page_server.h"

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QTest>
#include <QWebEngineProfile>

using namespace vq;
using test::PageServer;

namespace {

// A number drawn as a page would: `px` pixels high, in a colour on a tint.
QByteArray png(const QString& text, int px, QColor ink, QColor paper, const QString& family = QStringLiteral("DejaVu Sans"))
{
    return test::numberPng(text, px, ink, paper, family);
}

const std::vector<AnsiString> kMarkers{utf8ToAnsi("传真："), utf8ToAnsi("FAX："), utf8ToAnsi("传真号：")};

} // namespace

class TestWebPictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void picturesRead_data();
    void picturesRead();
    void recognition_data();
    void recognition();

private:
    PageServer server_;
};

void TestWebPictures::initTestCase()
{
    QVERIFY(server_.listening());
    const auto picture = [this](const QByteArray& path, const QByteArray& bytes) {
        server_.set(path, {"200 OK", "image/png", bytes, {}, true});
    };
    picture("/n1.png", png("0519-86543210", 14, Qt::black, Qt::white));
    picture("/n2.png", png("021-66668888", 12, QColor(200, 0, 0), QColor(255, 240, 200)));
    picture("/n3.png", png("010-82345678", 16, Qt::white, QColor(40, 40, 90)));
    picture("/phone.png", png("0571-88886666", 14, Qt::black, Qt::white));
    picture("/far.png", png("0755-23456789", 14, Qt::black, Qt::white));
    const auto page = [this](const QByteArray& path, const QString& body) {
        server_.set(path, {"200 OK", "text/html; charset=utf-8",
                           ("<html><body>" + body + "</body></html>").toUtf8(), {}, true});
    };
    page("/after-marker", QStringLiteral("<p>传真：<img src=\"/n1.png\"></p>"));
    page("/spaced-marker", QStringLiteral("<p>传 真：<img src=\"/n2.png\"></p>"));
    page("/fax-word", QStringLiteral("<p>FAX: <img src=\"/n3.png\"></p>"));
    page("/phone-and-fax", QStringLiteral("<p>电话/传真：<img src=\"/n1.png\"></p>"));
    page("/decoys", QStringLiteral("<p>电话：<img src=\"/phone.png\"></p><p>传真：0519-11112222 <img src=\"/far.png\"></p>"));
}

void TestWebPictures::picturesRead_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QStringList>("fax");         // what the scan finds
    QTest::addColumn<QStringList>("fromPictures"); // of those, read from a picture
    QTest::addColumn<QStringList>("notFetched");   // pictures nobody asked for

    QTest::newRow("after 传真：") << QByteArray("/after-marker") << true << QStringList{"0519-86543210"}
                                << QStringList{"0519-86543210"} << QStringList{};
    QTest::newRow("after 传 真：, tinted") << QByteArray("/spaced-marker") << true << QStringList{"021-66668888"}
                                       << QStringList{"021-66668888"} << QStringList{};
    QTest::newRow("after FAX:, light on dark") << QByteArray("/fax-word") << true << QStringList{"010-82345678"}
                                            << QStringList{"010-82345678"} << QStringList{};
    QTest::newRow("after 电话/传真：") << QByteArray("/phone-and-fax") << true << QStringList{"0519-86543210"}
                                   << QStringList{"0519-86543210"} << QStringList{};
    QTest::newRow("decoys") << QByteArray("/decoys") << true << QStringList{"0519-11112222"} << QStringList{}
                            << QStringList{"/phone.png", "/far.png"};
    QTest::newRow("off") << QByteArray("/after-marker") << false << QStringList{} << QStringList{}
                         << QStringList{"/n1.png"};
}

void TestWebPictures::picturesRead()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, on);
    QFETCH(QStringList, fax);
    QFETCH(QStringList, fromPictures);
    QFETCH(QStringList, notFetched);

    server_.clearRequested();
    WebEngineBrowser browser(static_cast<QWebEnginePage*>(nullptr));
    loadOnlyWhatTheHarvestReads(browser.page()->profile()); // as the lanes load pages
    browser.setPictureMarkers(on ? kMarkers : std::vector<AnsiString>{});
    int completes = 0;
    browser.onDocumentComplete = [&](FrameId, const AnsiString&) { ++completes; };
    browser.navigate(server_.url(QString::fromLatin1(path)).toStdString());
    QVERIFY(test::waitFor([&] { return completes > 0; }, 20000));

    std::vector<AnsiString> numbers, pictured;
    ExtractFaxNumbers(browser, FaxLineScanner(kMarkers), numbers, &pictured);
    const auto strings = [](const std::vector<AnsiString>& v) {
        QStringList out;
        for (const AnsiString& s : v)
            out << QString::fromStdString(s);
        return out;
    };
    QCOMPARE(strings(numbers), fax);
    QCOMPARE(strings(pictured), fromPictures);
    for (const QString& picture : notFetched)
        QVERIFY2(!server_.requested(picture.toUtf8()), qPrintable(picture));
    // No mark of a picture is left in the text.
    const QString text = QString::fromStdString(ansiToUtf8(browser.bodyText()));
    QCOMPARE(withoutPictureMarks(text), text);
}

// Recognition alone, on the sizes and tints pages use; a picture that holds
// no number gives nothing.
void TestWebPictures::recognition_data()
{
    QTest::addColumn<QByteArray>("picture");
    QTest::addColumn<QString>("number");
    QTest::newRow("11 px grey on white") << png("0512-66668888", 11, QColor(90, 90, 90), Qt::white) << "0512-66668888";
    QTest::newRow("13 px serif blue on pale") << png("0755-23456789", 13, QColor(0, 0, 160), QColor(220, 235, 255), "DejaVu Serif") << "0755-23456789";
    QTest::newRow("18 px red on yellow") << png("+86-10-66668888", 18, QColor(200, 0, 0), QColor(255, 240, 200)) << "+86-10-66668888";
    QTest::newRow("a word, no number") << png("Contact", 14, Qt::black, Qt::white) << "";
}

void TestWebPictures::recognition()
{
    QFETCH(QByteArray, picture);
    QFETCH(QString, number);
    std::string read = numberInPicture(QImage::fromData(picture));
    std::erase(read, ' ');
    QCOMPARE(QString::fromStdString(read), number);
}

int main(int argc, char** argv)
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    TestWebPictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_web_pictures.moc"
