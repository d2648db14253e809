// The HTML reading's parts that decide on their own what the browser would:
// links resolved as a.href gives them, the charset a page is decoded in, and
// what is refused. (That its text and links equal the browser's is checked
// against the browser itself in tests/app/test_fast_reading.cpp.)
#include "search/html_reading.h"
#include "search/url_resolve.h"

#include <QTest>

using namespace vq;

class TestHtmlReading : public QObject {
    Q_OBJECT

private slots:
    void links_data();
    void links();
    void charsets_data();
    void charsets();
    void refusals_data();
    void refusals();
};

void TestHtmlReading::links_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("resolved"); // "-": left to the browser
    const QString b = "http://www.a.com/dir/page.html?q=1#f";
    QTest::newRow("relative") << b << "x.html" << "http://www.a.com/dir/x.html";
    QTest::newRow("dot segments") << b << "../up/./x.html" << "http://www.a.com/up/x.html";
    QTest::newRow("above the root") << b << "../../../x" << "http://www.a.com/x";
    QTest::newRow("trailing ..") << b << "sub/.." << "http://www.a.com/dir/";
    QTest::newRow("absolute path") << b << "/x?y=2" << "http://www.a.com/x?y=2";
    QTest::newRow("query only") << b << "?z=3" << "http://www.a.com/dir/page.html?z=3";
    QTest::newRow("fragment only") << b << "#top" << "http://www.a.com/dir/page.html?q=1#top";
    QTest::newRow("empty") << b << "" << "http://www.a.com/dir/page.html?q=1";
    QTest::newRow("scheme-relative") << b << "//B.com:80" << "http://b.com/";
    QTest::newRow("host case, default port") << b << "HTTPS://WWW.B.COM:443/P" << "https://www.b.com/P";
    QTest::newRow("other port kept") << b << "http://b.com:8080" << "http://b.com:8080/";
    QTest::newRow("white space around") << b << "  x.html\t" << "http://www.a.com/dir/x.html";
    QTest::newRow("apostrophe in query") << b << "/s?a='b'" << "http://www.a.com/s?a=%27b%27";
    QTest::newRow("escapes kept") << b << "/a%20b" << "http://www.a.com/a%20b";
    QTest::newRow("same scheme, no slashes") << b << "http:x.html" << "http://www.a.com/dir/x.html";
    QTest::newRow("mailto as written") << b << " mailto:A@B.c " << "mailto:A@B.c";
    QTest::newRow("javascript as written") << b << "javascript:void(0)" << "javascript:void(0)";
    QTest::newRow("IPv4") << b << "http://127.0.0.1:81/" << "http://127.0.0.1:81/";
    // What the browser rewrites in ways of its own.
    QTest::newRow("non-ASCII") << b << "/产品" << "-";
    QTest::newRow("space inside") << b << "/a b" << "-";
    QTest::newRow("backslash") << b << "\\x" << "-";
    QTest::newRow("escaped dot") << b << "/a/%2e%2e/b" << "-";
    QTest::newRow("user part") << b << "http://u:p@b.com/" << "-";
    QTest::newRow("IPv6") << b << "http://[::1]/" << "-";
    QTest::newRow("numeric host not a quad") << b << "http://0x7f.1/" << "-";
    QTest::newRow("port too big") << b << "http://b.com:70000/" << "-";
    QTest::newRow("other scheme, no slashes") << b << "https:b.com" << "-";
    QTest::newRow("bad escape") << b << "/a%zz" << "-";
}

void TestHtmlReading::links()
{
    QFETCH(QString, base);
    QFETCH(QString, href);
    QFETCH(QString, resolved);
    const std::optional<std::string> r = resolveLink(base.toStdString(), href.toStdString());
    QCOMPARE(r ? QString::fromStdString(*r) : QStringLiteral("-"), resolved);
}

void TestHtmlReading::charsets_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("charset");
    const QByteArray gbk("<p>\xB4\xAB\xD5\xE6</p>");
    QTest::newRow("header") << QByteArray("text/html; charset=GB2312") << gbk << int(PageCharset::Gbk);
    QTest::newRow("header quoted") << QByteArray("text/html; charset=\"utf-8\"") << QByteArray("x") << int(PageCharset::Utf8);
    QTest::newRow("header over meta") << QByteArray("text/html; charset=gbk")
                                      << QByteArray("<meta charset=utf-8>") + gbk << int(PageCharset::Gbk);
    QTest::newRow("meta charset") << QByteArray("text/html") << QByteArray("<meta charset='gbk'>") + gbk
                                  << int(PageCharset::Gbk);
    QTest::newRow("meta http-equiv") << QByteArray("text/html")
                                     << QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">")
                                     << int(PageCharset::Utf8);
    QTest::newRow("meta in a comment") << QByteArray("text/html") << QByteArray("<!-- <meta charset=gbk> -->") + gbk
                                       << int(PageCharset::Undecided);
    QTest::newRow("meta past 1024 bytes") << QByteArray("text/html")
                                          << QByteArray(1100, ' ') + "<meta charset=gbk>" + gbk
                                          << int(PageCharset::Undecided);
    QTest::newRow("BOM over header") << QByteArray("text/html; charset=gbk") << QByteArray("\xEF\xBB\xBFx")
                                     << int(PageCharset::Utf8);
    QTest::newRow("UTF-16 BOM") << QByteArray("text/html") << QByteArray("\xFF\xFEx\0", 4) << int(PageCharset::Undecided);
    QTest::newRow("undeclared ASCII") << QByteArray("text/html") << QByteArray("<p>FAX: 1</p>") << int(PageCharset::Latin1);
    QTest::newRow("undeclared GBK") << QByteArray("text/html") << gbk << int(PageCharset::Undecided);
    QTest::newRow("unknown label") << QByteArray("text/html; charset=big5") << gbk << int(PageCharset::Undecided);
}

void TestHtmlReading::charsets()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, charset);
    QCOMPARE(int(pageCharset(contentType.toStdString(), body.toStdString())), charset);
}

void TestHtmlReading::refusals_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("pictures");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QByteArray>("text"); // with None: the text read
    const auto row = [](const char* name, const QByteArray& html, HtmlRefusal r, const QByteArray& text = {},
                        bool pictures = false) { QTest::newRow(name) << html << pictures << int(r) << text; };
    row("plain", "<p>a <b>b</b>\n c</p><p>d<br>e</p>", HtmlRefusal::None, "a b c\n\nd\ne");
    row("table cells", "<table><tr><td>传真：</td><td>1</td></tr><tr><td>2</td></tr></table>", HtmlRefusal::None,
        "\xB4\xAB\xD5\xE6\xA3\xBA\t1\n2");
    row("hidden parts", "<p hidden>x</p><div style='display: none'>y</div><noscript>z</noscript><p>w</p>",
        HtmlRefusal::None, "w");
    row("script file", "<script src=a.js></script><p>v</p>", HtmlRefusal::None, "v");
    row("data script", "<script type=application/ld+json>{}</script><p>v</p>", HtmlRefusal::None, "v");
    row("inline script", "<script>document.write(1)</script>", HtmlRefusal::Script);
    row("module script", "<script type=module>x()</script>", HtmlRefusal::Script);
    row("onload", "<body onload=f()><p>v</p>", HtmlRefusal::Script);
    row("svg text", "<svg><text>x</text></svg>", HtmlRefusal::Layout);
    row("iframe", "<iframe src=x></iframe>", HtmlRefusal::Frames);
    row("frameset", "<frameset><frame src=x></frameset>", HtmlRefusal::Frames);
    row("refresh", "<meta http-equiv=Refresh content='0;url=x'>", HtmlRefusal::Refresh);
    row("layout style", "<span style='display:block'>x</span>", HtmlRefusal::Layout);
    row("select", "<select><option>x</select>", HtmlRefusal::Layout);
    row("odd link", "<a href='/产品'>x</a>", HtmlRefusal::Link);
    row("picture, OCR off", "<p>传真：<img src=x.png></p>", HtmlRefusal::None, "\xB4\xAB\xD5\xE6\xA3\xBA");
    row("picture, OCR on", "<p>传真：<img src=x.png></p>", HtmlRefusal::Pictures, {}, true);
}

void TestHtmlReading::refusals()
{
    QFETCH(QByteArray, html);
    QFETCH(bool, pictures);
    QFETCH(int, refusal);
    QFETCH(QByteArray, text);
    const HtmlReading r = readHtml(("<html><head><meta charset=utf-8></head>" + html).toStdString(), "text/html",
                                   "http://a.com/", HtmlReadingRules{pictures});
    QCOMPARE(refusalName(r.refusal), refusalName(HtmlRefusal(refusal)));
    if (r.refusal == HtmlRefusal::None)
        QCOMPARE(QByteArray::fromStdString(r.text), text);
}

QTEST_GUILESS_MAIN(TestHtmlReading)
#include "test_html_reading.moc"
