#include "app/os.h"

#include <QMetaObject>

#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <io.h>

namespace vq::os {

std::filesystem::path toNativePath(const QString& path)
{
    return std::filesystem::path(path.toStdWString());
}

QString fromNativePath(const std::filesystem::path& path)
{
    return QString::fromStdWString(path.native());
}

bool runningAsAdministrator()
{
    // WebEngine's sandbox works for administrators on Windows.
    return false;
}

void killProcess(qint64 pid)
{
    HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return;
    ::TerminateProcess(h, 1);
    ::CloseHandle(h);
}

qint64 residentBytes(qint64 pid)
{
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return 0;
    PROCESS_MEMORY_COUNTERS counters{};
    const BOOL ok = ::GetProcessMemoryInfo(h, &counters, sizeof counters);
    ::CloseHandle(h);
    return ok ? static_cast<qint64>(counters.WorkingSetSize) : 0;
}

long long msSinceProcessStart()
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(now) - ticks(created)) / 10000; // 100 ns units
}

bool stderrIsTerminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

// ---- stop requests: the console's control handler runs on a thread of its own --

namespace {
std::atomic<int> stopCount{0};
std::atomic<int> stopCode{130};
std::atomic<StopRequests*> current{nullptr};

BOOL WINAPI onConsoleControl(DWORD type)
{
    const int code = type == CTRL_C_EVENT ? 130 : 143;
    stopCode = code;
    const int n = ++stopCount;
    if (n > 2)
        ::ExitProcess(static_cast<UINT>(code));
    if (StopRequests* s = current.load())
        QMetaObject::invokeMethod(s, [s, n] { emit s->requested(n); }, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

struct StopRequests::Impl {};

StopRequests::StopRequests(QObject* parent) : QObject(parent), impl_(new Impl)
{
    current = this;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopRequests::~StopRequests()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    current = nullptr;
    delete impl_;
}

int StopRequests::count() const
{
    return stopCount;
}

int StopRequests::exitCode() const
{
    return stopCode;
}

} // namespace vq::os
