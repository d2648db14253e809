#include "app/os.h"

#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace vq::os {

std::filesystem::path toNativePath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromNativePath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

bool runningAsAdministrator()
{
    return ::geteuid() == 0;
}

void killProcess(qint64 pid)
{
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

qint64 residentBytes(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    static const long pageSize = ::sysconf(_SC_PAGESIZE);
    return fields.at(1).toLongLong() * pageSize;
}

long long msSinceProcessStart()
{
    // /proc/self/stat field 22 counts clock ticks from boot.
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = f.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    timespec now{};
    if (fields.size() < 20 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double startS = fields.at(19).toDouble() / static_cast<double>(::sysconf(_SC_CLK_TCK));
    return static_cast<long long>((now.tv_sec + now.tv_nsec / 1e9 - startS) * 1000.0);
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

// ---- stop requests: a signal writes to a pipe the event loop watches ----------

namespace {
int stopPipe[2] = {-1, -1};
volatile sig_atomic_t stopCount = 0;
volatile sig_atomic_t stopSignal = 0;

int codeFor(int sig)
{
    return sig == SIGTERM ? 143 : 130;
}

void onStopSignal(int sig)
{
    stopCount = stopCount + 1;
    stopSignal = sig;
    if (stopCount > 2)
        _exit(codeFor(sig));
    const char c = 'x';
    [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &c, 1);
}
} // namespace

struct StopRequests::Impl {
    QSocketNotifier* notifier = nullptr;
};

StopRequests::StopRequests(QObject* parent) : QObject(parent), impl_(new Impl)
{
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pipe");
        return;
    }
    impl_->notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
    connect(impl_->notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(stopPipe[0], buf, sizeof buf) > 0) {
        }
        emit requested(stopCount);
    });
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

StopRequests::~StopRequests()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    delete impl_;
}

int StopRequests::count() const
{
    return stopCount;
}

int StopRequests::exitCode() const
{
    return codeFor(stopSignal);
}

} // namespace vq::os
