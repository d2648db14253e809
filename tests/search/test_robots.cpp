// robots.txt: which group applies to our product token, and which rule
// decides for a path (RFC 9309's cases), and the Crawl-delay.
#include "search/robots.h"

#include <QTest>

using namespace vq;

class TestRobots : public QObject {
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void productToken();
};

void TestRobots::rules_data()
{
    QTest::addColumn<QString>("robots");
    QTest::addColumn<QString>("agent"); // our user agent
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");

    const QString groups = "User-agent: *\nDisallow: /private\n\n"
                           "User-agent: VelqorBot\nUser-agent: other\nDisallow: /co/\nAllow: /co/open\n";
    QTest::newRow("* group") << groups << "" << "/private/x" << false;
    QTest::newRow("* group, other path") << groups << "" << "/co/1" << true;
    QTest::newRow("our group replaces *") << groups << "VelqorBot/2.0 (+http://x)" << "/private/x" << true;
    QTest::newRow("our group, disallowed") << groups << "velqorbot/2.0" << "/co/1" << false;
    QTest::newRow("longest match: allow") << groups << "VelqorBot" << "/co/open/page" << true;
    QTest::newRow("group of several agents") << groups << "Other/1.0" << "/co/1" << false;
    QTest::newRow("tie: allow wins") << "User-agent: *\nDisallow: /a\nAllow: /a\n" << "" << "/a" << true;
    QTest::newRow("longer disallow beats allow") << "User-agent: *\nAllow: /a\nDisallow: /a/b\n" << "" << "/a/b/c" << false;
    QTest::newRow("* wildcard") << "User-agent: *\nDisallow: /*.pdf\n" << "" << "/docs/x.pdf?v=1" << false;
    QTest::newRow("$ anchors the end") << "User-agent: *\nDisallow: /*.pdf$\n" << "" << "/docs/x.pdf?v=1" << true;
    QTest::newRow("$ at the end") << "User-agent: *\nDisallow: /*.pdf$\n" << "" << "/docs/x.pdf" << false;
    QTest::newRow("empty disallow forbids nothing") << "User-agent: *\nDisallow:\n" << "" << "/x" << true;
    QTest::newRow("comments and CR LF") << "# hi\r\nUser-agent: * # all\r\nDisallow: /x # no\r\n" << "" << "/x/1" << false;
    QTest::newRow("no group for anybody") << "User-agent: somebot\nDisallow: /\n" << "" << "/x" << true;
    QTest::newRow("robots.txt itself") << "User-agent: *\nDisallow: /\n" << "" << "/robots.txt" << true;
    QTest::newRow("query is part of the path") << "User-agent: *\nDisallow: /list?page=\n" << "" << "/list?page=2" << false;
}

void TestRobots::rules()
{
    QFETCH(QString, robots);
    QFETCH(QString, agent);
    QFETCH(QString, path);
    QFETCH(bool, allowed);
    const RobotsRules r = parseRobots(robots.toStdString(), productTokenOf(agent.toStdString()));
    QCOMPARE(r.allows(path.toStdString()), allowed);
}

void TestRobots::productToken()
{
    QCOMPARE(productTokenOf("VelqorBot/2.0 (+http://www.velqor.example/bot)"), std::string("VelqorBot"));
    QCOMPARE(productTokenOf(""), std::string());
    const RobotsRules r = parseRobots("User-agent: *\nCrawl-delay: 2.5\nUser-agent: VelqorBot\nCrawl-delay: 1\n", "");
    QCOMPARE(r.crawlDelaySeconds, 2.5);
}

QTEST_APPLESS_MAIN(TestRobots)
#include "test_robots.moc"
