#include "text/text_file.h"

#include "text/errors.h"
#include "text/paths.h"
#include "text/platform.h"

#include <cerrno>
#include <cstring>

namespace vq {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr char kCtrlZ = '\x1A';

int openForReading(const std::filesystem::path& path)
{
    int fd = platform::openForReading(path);
    if (fd < 0) {
        EInOutError e = inOutError(errno);
        e.setPath(path);
        throw e;
    }
    return fd;
}

// Appends `bytes` to `line` without its CR bytes: a CR before the LF belongs to
// the line break, and a lone CR is dropped from the line.
void appendWithoutCr(AnsiString& line, const char* bytes, size_t size)
{
    while (size > 0) {
        const void* cr = std::memchr(bytes, '\r', size);
        if (!cr) {
            line.append(bytes, size);
            return;
        }
        size_t k = static_cast<size_t>(static_cast<const char*>(cr) - bytes);
        line.append(bytes, k);
        bytes += k + 1;
        size -= k + 1;
    }
}

std::string readWholeFile(const std::filesystem::path& path)
{
    int fd = openForReading(path);
    std::string data;
    if (const long long size = platform::fileSize(fd); size > 0)
        data.reserve(static_cast<size_t>(size));
    char chunk[kReadChunk];
    for (;;) {
        long long r = platform::readSome(fd, chunk, sizeof chunk);
        if (r < 0) {
            int err = errno;
            platform::closeFile(fd);
            throwInOutError(err);
        }
        if (r == 0)
            break;
        data.append(chunk, static_cast<size_t>(r));
    }
    platform::closeFile(fd);
    return data;
}

} // namespace

// ---- TextReader -------------------------------------------------------------

TextReader::TextReader(const std::filesystem::path& path)
{
    open(path);
}

TextReader::~TextReader()
{
    if (fd_ >= 0)
        platform::closeFile(fd_);
}

TextReader::TextReader(TextReader&& other) noexcept
    : fd_(other.fd_), buf_(std::move(other.buf_)), pos_(other.pos_), atEndOfFile_(other.atEndOfFile_)
{
    other.fd_ = -1;
    other.buf_.clear();
    other.pos_ = 0;
    other.atEndOfFile_ = false;
}

TextReader& TextReader::operator=(TextReader&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            platform::closeFile(fd_);
        fd_ = other.fd_;
        buf_ = std::move(other.buf_);
        pos_ = other.pos_;
        atEndOfFile_ = other.atEndOfFile_;
        other.fd_ = -1;
        other.buf_.clear();
        other.pos_ = 0;
        other.atEndOfFile_ = false;
    }
    return *this;
}

void TextReader::open(const std::filesystem::path& path)
{
    int fd = openForReading(path);
    if (fd_ >= 0)
        platform::closeFile(fd_);
    fd_ = fd;
    buf_.clear();
    pos_ = 0;
    atEndOfFile_ = false;
}

bool TextReader::fill()
{
    if (fd_ < 0 || atEndOfFile_)
        return false;
    // Drop what has been consumed, then read one more chunk behind the rest.
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const size_t old = buf_.size();
    buf_.resize(old + kReadChunk);
    long long r = platform::readSome(fd_, buf_.data() + old, kReadChunk);
    if (r < 0) {
        int err = errno;
        buf_.resize(old);
        throwInOutError(err);
    }
    buf_.resize(old + static_cast<size_t>(r));
    if (r == 0) {
        atEndOfFile_ = true;
        return false;
    }
    return true;
}

bool TextReader::eof()
{
    if (fd_ < 0)
        throwInOutError(EBADF);
    if (pos_ >= buf_.size() && !fill())
        return true;
    return buf_[pos_] == kCtrlZ;
}

AnsiString TextReader::readLine()
{
    if (eof()) {
        // Past the end: nothing is consumed; a Ctrl-Z stays where it is.
        if (pos_ < buf_.size())
            return AnsiString(1, kCtrlZ);
        return {};
    }
    AnsiString line;
    for (;;) {
        const char* start = buf_.data() + pos_;
        const size_t avail = buf_.size() - pos_;
        const void* lf = std::memchr(start, '\n', avail);
        if (lf) {
            size_t k = static_cast<size_t>(static_cast<const char*>(lf) - start);
            appendWithoutCr(line, start, k);
            pos_ += k + 1;
            return line;
        }
        appendWithoutCr(line, start, avail);
        pos_ = buf_.size();
        if (!fill())
            return line; // last line without a break
    }
}

void TextReader::close()
{
    if (fd_ < 0)
        return;
    int fd = fd_;
    fd_ = -1;
    buf_.clear();
    pos_ = 0;
    atEndOfFile_ = false;
    if (platform::closeFile(fd) != 0 && errno != EINTR)
        throwInOutError(errno);
}

// ---- TextWriter -------------------------------------------------------------

TextWriter::TextWriter(const std::filesystem::path& path) : file_(path) {}

void TextWriter::writeLine(std::string_view line)
{
    file_.write(line);
    file_.write("\r\n");
}

void TextWriter::commit()
{
    file_.commit();
}

// ---- whole lists -------------------------------------------------------------

std::vector<AnsiString> splitList(std::string_view data)
{
    // A NUL byte ends the data.
    if (const void* nul = std::memchr(data.data(), '\0', data.size()))
        data = data.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - data.data()));

    std::vector<AnsiString> lines;
    const char* p = data.data();
    const char* const end = p + data.size();
    // The next CR and the next LF, each found once with memchr.
    const char* nextCr = nullptr;
    const char* nextLf = nullptr;
    auto scan = [end](const char* from, char c) -> const char* {
        const void* hit = std::memchr(from, c, static_cast<size_t>(end - from));
        return hit ? static_cast<const char*>(hit) : end;
    };
    while (p < end) {
        if (!nextCr || nextCr < p)
            nextCr = scan(p, '\r');
        if (!nextLf || nextLf < p)
            nextLf = scan(p, '\n');
        const char* brk = nextCr < nextLf ? nextCr : nextLf;
        lines.emplace_back(p, brk);
        p = brk;
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
    }
    return lines;
}

std::vector<AnsiString> loadList(const std::filesystem::path& path)
{
    std::string data;
    try {
        data = readWholeFile(path);
    } catch (const EInOutError&) {
        throw EFOpenError("Cannot open file " + pathToUtf8(path));
    }
    return splitList(data);
}

void saveList(const std::filesystem::path& path, const std::vector<AnsiString>& lines)
{
    try {
        AtomicFile file(path);
        for (const AnsiString& line : lines) {
            file.write(line);
            file.write("\r\n");
        }
        file.commit();
    } catch (const EInOutError&) {
        throw EFCreateError("Cannot create file " + pathToUtf8(path));
    }
}

std::vector<AnsiString> readAllLines(const std::filesystem::path& path)
{
    TextReader reader(path);
    std::vector<AnsiString> lines;
    while (!reader.eof())
        lines.push_back(reader.readLine());
    reader.close();
    return lines;
}

void writeAllLines(const std::filesystem::path& path, const std::vector<AnsiString>& lines)
{
    TextWriter writer(path);
    for (const AnsiString& line : lines)
        writer.writeLine(line);
    writer.commit();
}

} // namespace vq

namespace vq {

namespace {

[[noreturn]] void failOn(const std::filesystem::path& path, int errnoValue)
{
    EInOutError e = inOutError(errnoValue);
    e.setPath(path);
    throw e;
}

} // namespace

LineLog::LineLog(const std::filesystem::path& path, bool append) : path_(path)
{
    fd_ = platform::openForAppending(path, !append);
    if (fd_ < 0)
        failOn(path_, errno);
}

LineLog::~LineLog()
{
    if (fd_ >= 0)
        platform::closeFile(fd_);
}

void LineLog::writeLine(std::string_view line)
{
    std::string bytes(line);
    bytes += '\n';
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const long long w = platform::writeSome(fd_, p, left);
        if (w <= 0)
            failOn(path_, w < 0 ? errno : ENOSPC);
        p += w;
        left -= static_cast<size_t>(w);
    }
}

void LineLog::close()
{
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && platform::closeFile(fd) != 0)
        failOn(path_, errno);
}

} // namespace vq
