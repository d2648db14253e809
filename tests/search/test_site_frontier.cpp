// The address form a crawl compares, and the shard of a site.
#include "search/address.h"
#include "search/site_frontier.h"

#include <QTest>

using namespace vq;

class SiteFrontierTest : public QObject {
    Q_OBJECT

private slots:
    void normalised_data();
    void normalised();
    void shardIsStable();
};

void SiteFrontierTest::normalised_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected"); // empty: never joins the frontier
    QTest::newRow("case, default port, dots, fragment")
        << "HTTP://WWW.Example.COM:80/a/./b/../c#frag" << "http://www.example.com/a/c";
    QTest::newRow("https default port, no path") << "https://a.com:443" << "https://a.com/";
    QTest::newRow("other port and query kept") << "https://a.com:8443/x?q=1#f" << "https://a.com:8443/x?q=1";
    QTest::newRow("path case kept") << "http://a.com/Big/Page.HTML" << "http://a.com/Big/Page.HTML";
    QTest::newRow("no scheme") << "a.com/x" << "http://a.com/x";
    QTest::newRow("host and port, no scheme") << "a.com:8080/x" << "http://a.com:8080/x";
    QTest::newRow("trailing ..") << "http://a.com/a/b/.." << "http://a.com/a/";
    QTest::newRow(".. above the root") << "http://a.com/../../x" << "http://a.com/x";
    QTest::newRow("dots in the query untouched") << "http://a.com/x/?u=http://b.com/../y"
                                                 << "http://a.com/x/?u=http://b.com/../y";
    QTest::newRow("user part") << "http://user@A.com/" << "http://user@a.com/";
    QTest::newRow("IPv6 with default port") << "http://[::1]:80/x" << "http://[::1]/x";
    QTest::newRow("spaces around") << "  http://a.com/  " << "http://a.com/";
    QTest::newRow("mailto") << "mailto:x@y.z" << "";
    QTest::newRow("ftp") << "ftp://a.com/file" << "";
    QTest::newRow("javascript") << "javascript:void(0)" << "";
    QTest::newRow("no host") << "http:///x" << "";
}

void SiteFrontierTest::normalised()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    const std::optional<AnsiString> got = normalisedAddress(address.toStdString());
    QCOMPARE(got ? QString::fromStdString(*got) : QString(), expected);
}

// Every machine of a sharded crawl must put a site in the same shard: FNV-1a.
void SiteFrontierTest::shardIsStable()
{
    QCOMPARE(shardOfSite("a", 1000), 996);
    QCOMPARE(shardOfSite("example.com", 1), 0);
}

QTEST_GUILESS_MAIN(SiteFrontierTest)
#include "test_site_frontier.moc"
