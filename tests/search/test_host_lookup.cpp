// The connectivity test's address choice over the host's interface addresses.
#include "search/host_lookup.h"

#include <QTest>

using namespace vq;

namespace {

using Family = InterfaceAddress::Family;

InterfaceAddress v4(const char* a, bool loopback = false) { return {Family::IPv4, a, loopback}; }
InterfaceAddress v6(const char* a, bool loopback = false) { return {Family::IPv6, a, loopback}; }

} // namespace

Q_DECLARE_METATYPE(std::vector<InterfaceAddress>)

class HostLookupTest : public QObject {
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void realInterfaces();
};

void HostLookupTest::choice_data()
{
    QTest::addColumn<std::vector<InterfaceAddress>>("addresses");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no interface information") << std::vector<InterfaceAddress>{} << "";
    QTest::newRow("loopback only") << std::vector{v4("127.0.0.1", true)} << "127.0.0.1";
    QTest::newRow("both loopbacks") << std::vector{v4("127.0.0.1", true), v6("::1", true)} << "127.0.0.1";
    QTest::newRow("IPv6 loopback only") << std::vector{v6("::1", true)} << "127.0.0.1";
    QTest::newRow("one network address") << std::vector{v4("127.0.0.1", true), v4("192.0.2.7")} << "192.0.2.7";
    QTest::newRow("last IPv4 wins")
        << std::vector{v4("10.0.0.2"), v4("127.0.0.1", true), v4("192.0.2.7"), v4("127.0.0.1", true)}
        << "192.0.2.7";
    QTest::newRow("IPv4 before IPv6 whatever the order")
        << std::vector{v4("127.0.0.1", true), v4("10.0.0.2"), v6("2001:db8::1")} << "10.0.0.2";
    QTest::newRow("IPv6 only host")
        << std::vector{v4("127.0.0.1", true), v6("::1", true), v6("fe80::1"), v6("2001:db8::1")}
        << "2001:db8::1";
    QTest::newRow("loopback flag, not the text, decides")
        << std::vector{v4("127.0.0.1", true), v4("127.0.1.1", true)} << "127.0.0.1";
}

void HostLookupTest::choice()
{
    QFETCH(std::vector<InterfaceAddress>, addresses);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(chooseLocalAddress(addresses)), expected);
}

void HostLookupTest::realInterfaces()
{
    // Whatever this machine has: every entry carries numeric text, and the
    // look-up agrees with the choice over them.
    const auto addresses = interfaceAddresses();
    for (const auto& a : addresses) {
        QVERIFY(!a.address.empty());
        if (a.address == "127.0.0.1" || a.address == "::1")
            QVERIFY(a.loopback);
    }
    InterfaceHostLookup lookup;
    QCOMPARE(lookup.localAddress(), chooseLocalAddress(addresses));
}

QTEST_GUILESS_MAIN(HostLookupTest)
#include "test_host_lookup.moc"
