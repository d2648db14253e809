#include "text/atomic_file.h"

#include "text/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

namespace vq {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

// Bytes still allowed before writes fail with ENOSPC; negative: no fault.
std::atomic<long long> g_writeAllowance{-1};

std::string randomSuffix()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 rng{std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32)};
    std::string s(8, 'x');
    for (char& c : s)
        c = digits[rng() % (sizeof digits - 1)];
    return s;
}

// Writes all of `data`, retrying interrupted and short writes.
void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        size_t chunk = size;
        bool fault = false;
        long long allowance = g_writeAllowance.load();
        if (allowance >= 0) {
            if (static_cast<unsigned long long>(allowance) < chunk) {
                chunk = static_cast<size_t>(allowance);
                fault = true;
            }
            g_writeAllowance.fetch_sub(static_cast<long long>(chunk));
        }
        while (chunk > 0) {
            ssize_t w = ::write(fd, data, chunk);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                throwInOutError(errno);
            }
            data += w;
            size -= static_cast<size_t>(w);
            chunk -= static_cast<size_t>(w);
        }
        if (fault)
            throwInOutError(ENOSPC);
    }
}

void syncDirectory(const std::filesystem::path& dir)
{
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throwInOutError(errno);
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    // Some file systems cannot sync a directory; the rename has happened anyway.
    if (rc != 0 && err != EINVAL && err != ENOTSUP)
        throwInOutError(err);
}

} // namespace

namespace testing {
void failWritesAfter(long long bytes)
{
    g_writeAllowance.store(bytes < 0 ? -1 : bytes);
}
} // namespace testing

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target))
{
    if (target_.empty() || !target_.has_filename())
        throwInOutError(ENOENT);
    const std::filesystem::path dir = target_.parent_path();
    // Named after the target, so a stray one is recognisable; a short name when
    // the target's own name leaves no room for the suffix.
    std::string base = "." + target_.filename().native() + ".tmp-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = dir / (base + randomSuffix());
        // 0644 before the umask: the same permissions a plain create would give.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(candidate);
            buffer_.reserve(kBufferSize);
            return;
        }
        if (errno == ENAMETOOLONG && base != ".vq.tmp-") {
            base = ".vq.tmp-";
            continue;
        }
        if (errno != EEXIST)
            throwInOutError(errno);
    }
    throwInOutError(EEXIST);
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

void AtomicFile::write(std::string_view bytes)
{
    if (fd_ < 0 || error_ != 0)
        throwInOutError(error_ != 0 ? error_ : EBADF);
    if (buffer_.size() + bytes.size() <= kBufferSize) {
        buffer_.append(bytes);
        return;
    }
    flushBuffer();
    if (bytes.size() >= kBufferSize) {
        try {
            writeAll(fd_, bytes.data(), bytes.size());
        } catch (const EInOutError& e) {
            error_ = e.code();
            throw;
        }
    } else {
        buffer_.append(bytes);
    }
}

void AtomicFile::flushBuffer()
{
    if (buffer_.empty())
        return;
    try {
        writeAll(fd_, buffer_.data(), buffer_.size());
    } catch (const EInOutError& e) {
        error_ = e.code();
        buffer_.clear();
        throw;
    }
    buffer_.clear();
}

void AtomicFile::commit()
{
    // A file whose writing failed is never committed: it would be incomplete.
    if (fd_ < 0 || error_ != 0)
        throwInOutError(error_ != 0 ? error_ : EBADF);
    flushBuffer();
    if (::fsync(fd_) != 0) {
        error_ = errno;
        throwInOutError(error_);
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error_ = errno;
        throwInOutError(error_);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        throwInOutError(error_);
    }
    committed_ = true;
    syncDirectory(target_.parent_path());
}

} // namespace vq
