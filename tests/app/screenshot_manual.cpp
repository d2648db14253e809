// Makes the README's screenshot (not run by ctest): the main window searching
// local pages at speed 1, 8 pages at once, with the result lists enlarged
// through the splitter; with "site", a site crawl at depth 2 from a directory
// page of the companies, each linking to its contact page, at the first size.
// Once a few pages are done, `import` saves the window's area of the screen.
// Run under xvfb-run:  screenshot_manual OUT.png [site]
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/translations.h"
#include "app/web_browser.h"
#include "tests/support/page_server.h"
#include "tests/support/search_window.h"

#include <QApplication>
#include <QProcess>
#include <QSplitter>
#include <QTimer>

#include <cstdio>

using namespace vq;

namespace {

const char* const kCompanies[] = {"常州精工机械", "上海华东纺织", "北京远航科技", "杭州西湖茶业",
                                  "苏州丝绸进出口", "南京金陵电子", "无锡太湖船舶", "宁波港通物流",
                                  "广州珠江化工", "深圳前海贸易", "天津渤海钢材", "青岛海洋食品"};
const char* const kAreas[] = {"0519", "021", "010", "0571", "0512", "025",
                              "0510", "0574", "020", "0755", "022", "0532"};

QByteArray page(int i, const test::PageServer& server)
{
    const int n = int(std::size(kCompanies));
    QString html = QStringLiteral("<html><head><title>%1有限公司</title></head><body style=\"font-family:sans-serif\">"
                                  "<h2>%1有限公司</h2><p>地址：%1工业园区%2号</p>")
                       .arg(QString::fromUtf8(kCompanies[i % n]))
                       .arg(10 + i);
    html += QStringLiteral("<p>电话：%1-8%2 &nbsp; 传真：%1-8%3</p>")
                .arg(QString::fromUtf8(kAreas[i % n]))
                .arg(6543210 + i * 7)
                .arg(6543300 + i * 11);
    if (i % 3 == 0)
        html += QStringLiteral("<p>销售部 FAX：%1-8%2</p>").arg(QString::fromUtf8(kAreas[i % n])).arg(7000100 + i);
    for (int k = 1; k <= 3; ++k)
        html += QStringLiteral("<a href=\"%1\">产品%2</a> ").arg(server.url(QStringLiteral("/product/%1-%2.html").arg(i).arg(k))).arg(k);
    html += QStringLiteral("<a href=\"http://www.example%1.com/\">友情链接</a></body></html>").arg(i);
    return html.toUtf8();
}

} // namespace

int main(int argc, char* argv[])
{
    vq::prepareWebEngine();
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    installQtTranslations();

    test::PageServer server;
    const int pages = 64;
    for (int i = 0; i < pages; ++i)
        server.set(QStringLiteral("/company/%1.html").arg(i).toUtf8(), {"200 OK", "text/html; charset=utf-8", page(i, server), {}, true});

    const bool site = argc > 2 && QByteArray(argv[2]) == "site";
    QString directory = QStringLiteral("<html><head><title>企业名录</title></head><body><h2>企业名录</h2><p>传真：010-88886666</p>");
    for (int i = 0; i < pages; ++i) {
        directory += QStringLiteral("<a href=\"/company/%1.html\">%2</a> ").arg(i).arg(QString::fromUtf8(kCompanies[i % std::size(kCompanies)]));
        server.set(QStringLiteral("/product/%1-1.html").arg(i).toUtf8(),
                   {"200 OK", "text/html; charset=utf-8", QStringLiteral("<html><body><p>联系我们 传真：0519-8%1</p></body></html>").arg(7100000 + i).toUtf8(), {}, true});
    }
    server.set("/dir.html", {"200 OK", "text/html; charset=utf-8", (directory + "</body></html>").toUtf8(), {}, true});

    QStringList lines;
    if (site)
        lines << server.url(QStringLiteral("/dir.html"));
    for (int i = 0; i < pages && !site; ++i)
        lines << server.url(QStringLiteral("/company/%1.html").arg(i));
    test::SearchWindow w;
    TForm1& form = *w.form;
    w.chooseList(QStringLiteral("网址列表.txt"), lines);
    if (site) {
        form.resize(630, 463);
        form.setSiteCrawl(2, Follow::Site);
    } else {
        form.resize(760, 560);
    }
    form.move(40, 30);
    form.setSpeed(1);
    form.setPagesAtOnce(8);
    for (Switch s : {Switch::Links, Switch::Fax, Switch::Dedup, Switch::LinkFilter, Switch::Autosave})
        form.setChecked(s, true);
    if (!site)
        form.Splitter1->setSizes({200, 260});

    QTimer::singleShot(500, &form, [&] { form.N2Click(); });
    QTimer::singleShot(6500, &form, [&] {
        const QRect r = form.frameGeometry();
        const int code = QProcess::execute(
            QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
             QStringLiteral("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()), out});
        std::fprintf(stderr, "import: %d, line %d of %d, position %d, busy %zu\n", code, form.engine().session.lanes().linesRead(), pages, form.engine().session.position(), form.engine().session.lanes().busyLanes());
        app.quit();
    });
    return app.exec();
}
