// The text layer's system calls on POSIX systems.
#include "text/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vq::platform {

int openForReading(const std::filesystem::path& path)
{
    int fd;
    do {
        // Without blocking: opening a named pipe would wait for a writer.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        // A directory, a pipe, a device (/dev/zero never ends): not a text file.
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

int createNew(const std::filesystem::path& path)
{
    // 0644 before the umask: the same permissions a plain create would give.
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

int openForAppending(const std::filesystem::path& path, bool truncate)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0644);
}

long long readSome(int fd, char* data, size_t size)
{
    for (;;) {
        ssize_t r = ::read(fd, data, size);
        if (r >= 0 || errno != EINTR)
            return r;
    }
}

long long writeSome(int fd, const char* data, size_t size)
{
    for (;;) {
        ssize_t w = ::write(fd, data, size);
        if (w >= 0 || errno != EINTR)
            return w;
    }
}

long long fileSize(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int truncateFile(int fd, long long size)
{
    return ::ftruncate(fd, static_cast<off_t>(size));
}

int syncFile(int fd)
{
    return ::fsync(fd);
}

int closeFile(int fd)
{
    return ::close(fd);
}

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return -1;
    // The rename is durable once the directory is on disk.
    const std::filesystem::path dir = to.parent_path();
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    // Some file systems cannot sync a directory; the rename has happened anyway.
    if (rc != 0 && err != EINVAL && err != ENOTSUP) {
        errno = err;
        return -1;
    }
    return 0;
}

int removeFile(const std::filesystem::path& path)
{
    return ::unlink(path.c_str());
}

const char* findMemory(const char* haystack, size_t haystackSize, const char* needle, size_t needleSize)
{
    return static_cast<const char*>(::memmem(haystack, haystackSize, needle, needleSize));
}

bool directoryWritable(const std::filesystem::path& dir)
{
    return ::access(dir.c_str(), W_OK) == 0;
}

std::filesystem::path executablePath()
{
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}

unsigned long processId()
{
    return static_cast<unsigned long>(::getpid());
}

bool quotaExceeded(int errnoValue)
{
    return errnoValue == EDQUOT;
}

} // namespace vq::platform
