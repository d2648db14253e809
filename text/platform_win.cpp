// The text layer's system calls on Windows. Files are opened with the wide
// (UTF-16) API and handed to the C runtime as descriptors, so the text layer
// reads and writes them as on POSIX systems, always in binary mode.
#include "text/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <climits>
#include <string>
#include <string_view>

namespace vq::platform {
namespace {

// The errno value for a Windows error code, so that EInOutError gives the
// same messages on every platform.
int errnoFromWindows(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    // A name the file system cannot use: "Invalid filename", as on POSIX.
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

int failWithLastError()
{
    errno = errnoFromWindows(::GetLastError());
    return -1;
}

// A CreateFileW handle as a C runtime descriptor; the descriptor owns it.
int toDescriptor(HANDLE handle, int flags)
{
    if (handle == INVALID_HANDLE_VALUE)
        return failWithLastError();
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

unsigned chunk(size_t size)
{
    return size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
}

} // namespace

int openForReading(const std::filesystem::path& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return -1;
    }
    // Shared for deletion too, so that a file being read can still be replaced,
    // as on POSIX systems.
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return toDescriptor(h, _O_RDONLY);
}

int createNew(const std::filesystem::path& path)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return toDescriptor(h, _O_WRONLY);
}

int openForAppending(const std::filesystem::path& path, bool truncate)
{
    HANDLE h = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return toDescriptor(h, _O_WRONLY | _O_APPEND);
}

long long readSome(int fd, char* data, size_t size)
{
    return ::_read(fd, data, chunk(size));
}

long long writeSome(int fd, const char* data, size_t size)
{
    return ::_write(fd, data, chunk(size));
}

long long fileSize(int fd)
{
    return ::_filelengthi64(fd);
}

int truncateFile(int fd, long long size)
{
    const errno_t e = ::_chsize_s(fd, size);
    if (e != 0) {
        errno = e;
        return -1;
    }
    return 0;
}

int syncFile(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    return ::FlushFileBuffers(handle) ? 0 : failWithLastError();
}

int closeFile(int fd)
{
    return ::_close(fd);
}

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // One step that replaces an existing target; WRITE_THROUGH returns only when
    // the move is on disk.
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return failWithLastError();
    return 0;
}

int removeFile(const std::filesystem::path& path)
{
    return ::DeleteFileW(path.c_str()) ? 0 : failWithLastError();
}

const char* findMemory(const char* haystack, size_t haystackSize, const char* needle, size_t needleSize)
{
    const std::string_view text(haystack, haystackSize);
    const size_t at = text.find(std::string_view(needle, needleSize));
    return at == std::string_view::npos ? nullptr : haystack + at;
}

bool directoryWritable(const std::filesystem::path& dir)
{
    // Access rights on Windows are lists, not mode bits: the one sure test is to
    // make a file there. It is deleted when its handle closes.
    const DWORD attributes = ::GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const std::filesystem::path probe = dir / (L".vq-write-test-" + std::to_wstring(processId()));
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

std::filesystem::path executablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer);
        }
        // Cut short: try again with more room (long paths reach 32,767 units).
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

unsigned long processId()
{
    return ::GetCurrentProcessId();
}

bool quotaExceeded(int)
{
    // Windows reports an exceeded quota as a full disk (ERROR_DISK_FULL).
    return false;
}

} // namespace vq::platform
