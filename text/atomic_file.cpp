#include "text/atomic_file.h"

#include "text/errors.h"
#include "text/platform.h"

#include <atomic>
#include <cerrno>
#include <random>
#include <system_error>

namespace vq {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

// Bytes still allowed before writes fail with ENOSPC; negative: no fault.
std::atomic<long long> g_writeAllowance{-1};

std::string randomSuffix()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 rng{std::random_device{}() ^ (static_cast<uint64_t>(platform::processId()) << 32)};
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
            long long w = platform::writeSome(fd, data, chunk);
            if (w < 0)
                throwInOutError(errno);
            data += w;
            size -= static_cast<size_t>(w);
            chunk -= static_cast<size_t>(w);
        }
        if (fault)
            throwInOutError(ENOSPC);
    }
}

} // namespace

long long appendChecked(const std::filesystem::path& path, long long expectedSize, std::string_view bytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return -1;
    return namingFile(path, [&]() -> long long {
        const int fd = platform::openForAppending(path, false);
        if (fd < 0)
            throwInOutError(errno);
        if (platform::fileSize(fd) != expectedSize) {
            platform::closeFile(fd);
            return -1;
        }
        try {
            writeAll(fd, bytes.data(), bytes.size());
            if (platform::syncFile(fd) != 0)
                throwInOutError(errno);
        } catch (...) {
            // Back to the whole prefix it held; what could not be written is
            // the caller's to write again.
            platform::truncateFile(fd, expectedSize);
            platform::syncFile(fd);
            platform::closeFile(fd);
            throw;
        }
        if (platform::closeFile(fd) != 0)
            throwInOutError(errno);
        return expectedSize + static_cast<long long>(bytes.size());
    });
}

namespace testing {
void failWritesAfter(long long bytes)
{
    g_writeAllowance.store(bytes < 0 ? -1 : bytes);
}
} // namespace testing

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target))
{
    namingFile(target_, [this] { create(); });
}

void AtomicFile::create()
{
    if (target_.empty() || !target_.has_filename())
        throwInOutError(ENOENT);
    const std::filesystem::path dir = target_.parent_path();
    // Named after the target, so a stray one is recognisable; a short name when
    // the target's own name leaves no room for the suffix.
    std::filesystem::path base = std::filesystem::path(".") += target_.filename();
    base += ".tmp-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = dir / (std::filesystem::path(base) += randomSuffix());
        int fd = platform::createNew(candidate);
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
        platform::closeFile(fd_);
    if (!committed_ && !temp_.empty())
        platform::removeFile(temp_);
}

void AtomicFile::write(std::string_view bytes)
{
    namingFile(target_, [&] { writeBytes(bytes); });
}

void AtomicFile::writeBytes(std::string_view bytes)
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
    namingFile(target_, [this] { commitFile(); });
}

void AtomicFile::commitFile()
{
    // A file whose writing failed is never committed: it would be incomplete.
    if (fd_ < 0 || error_ != 0)
        throwInOutError(error_ != 0 ? error_ : EBADF);
    flushBuffer();
    if (platform::syncFile(fd_) != 0) {
        error_ = errno;
        throwInOutError(error_);
    }
    int fd = fd_;
    fd_ = -1;
    if (platform::closeFile(fd) != 0) {
        error_ = errno;
        throwInOutError(error_);
    }
    if (platform::replaceFile(temp_, target_) != 0) {
        error_ = errno;
        // The rename may have happened, with only its durability in doubt.
        std::error_code ec;
        committed_ = !std::filesystem::exists(temp_, ec) && !ec;
        throwInOutError(error_);
    }
    committed_ = true;
}

} // namespace vq
