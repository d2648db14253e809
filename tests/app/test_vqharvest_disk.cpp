// vqharvest crawl into a folder too small for its results (a 64 KB tmpfs, so
// the suite must run as root; skipped otherwise): the crawl says what was not
// saved and exits 1, the state file never says more than the result files
// hold, and once there is room the resume it names ends with every result once.
#include "tests/support/harvest_process.h"
#include "tests/support/page_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

using namespace vq;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray faxNumber(int page) { return "0519-8" + QByteArray::number(1000000 + page); }

} // namespace

class TestVqharvestDisk : public QObject {
    Q_OBJECT

private slots:
    void fullFolderThenResume();

private:
    int crawl(const QStringList& args, QByteArray* err)
    {
        QProcess p;
        harvest_.start(p, args);
        if (!test::HarvestProcess::waitForExit(p, 240000))
            return -1;
        *err = p.readAllStandardError();
        return p.exitCode();
    }
    test::HarvestProcess harvest_;
};

void TestVqharvestDisk::fullFolderThenResume()
{
    if (::geteuid() != 0)
        QSKIP("needs root to mount a small tmpfs");
    const int pages = 60;
    test::PageServer server;
    QVERIFY(server.listening());
    server.setGenerator([](const QByteArray& path) -> std::optional<test::PageServer::Response> {
        const int page = path.mid(1).toInt();
        if (page < 1)
            return std::nullopt;
        QByteArray body = "<html><body><p>FAX: " + faxNumber(page) + "</p>";
        for (int l = 0; l < 40; ++l)
            body += "<a href=\"http://company" + QByteArray::number(page) + ".example.com/a/rather/long/path/" +
                    QByteArray::number(l) + ".html\">x</a>";
        return test::PageServer::Response{"200 OK", "text/html", body + "</body></html>", {}, true};
    });

    QTemporaryDir work;
    const QString small = work.filePath("small");
    QDir().mkpath(small);
    if (::mount("tmpfs", small.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("cannot mount a tmpfs here");
    struct Unmount {
        QString at;
        ~Unmount() { ::umount(at.toLocal8Bit().constData()); }
    } unmount{small};

    QFile list(work.filePath("list.txt"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    for (int i = 1; i <= pages; ++i)
        list.write(server.url(QString("/%1").arg(i)).toLatin1() + "\r\n");
    list.close();
    const QStringList common{"crawl", list.fileName(), "--speed", "0", "--lanes", "2", "--links",
                             "--fax",  "--no-net-check", "--quiet"};

    QByteArray err;
    QCOMPARE(crawl(common + QStringList{"--out", small}, &err), 1);
    QVERIFY2(err.contains("autosave&web.txt: Disk full.") && err.contains("Not saved:"), err.constData());
    QVERIFY2(err.contains("not saved"), err.constData()); // the summary
    QVERIFY2(!err.contains(" lines done,"), err.constData());
    const QRegularExpressionMatch m = QRegularExpression("resume with --from (\\d+)").match(QString::fromUtf8(err));
    QVERIFY2(m.hasMatch(), err.constData());
    const int from = m.captured(1).toInt();

    // What is on disk agrees with itself: the state file names no line whose
    // number the fax file lacks (the file may hold more: they are found again).
    const QByteArray state = readFile(small + "/vqdornavik.ini");
    const int saved = state.isEmpty() ? 0 : state.split('\n').value(1).trimmed().toInt();
    QCOMPARE(saved, from);
    QByteArray expected;
    for (int i = 1; i <= from; ++i)
        expected += faxNumber(i) + "\r\n";
    QVERIFY(readFile(small + "/autosave&fax.txt").startsWith(expected));

    // Room again: the folder moved to a larger disk, and on from that line.
    const QString big = work.filePath("big");
    QVERIFY(QProcess::execute("cp", {"-a", small, big}) == 0);
    QCOMPARE(crawl(common + QStringList{"--out", big, "--from", QString::number(from)}, &err), 0);
    QByteArray all;
    for (int i = 1; i <= pages; ++i)
        all += faxNumber(i) + "\r\n";
    QCOMPARE(readFile(big + "/autosave&fax.txt"), all);
    QCOMPARE(readFile(big + "/autosave&web.txt").count('\n'), pages * 40);
}

QTEST_GUILESS_MAIN(TestVqharvestDisk)
#include "test_vqharvest_disk.moc"
