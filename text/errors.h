// Exception types of the program. Every failure is an exception; the message
// (what()) is UTF-8 text meant for the user, shown by the default handler.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace vq {

// Base of every error this program raises on purpose.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Input/output failure of a line-by-line text file. code() is the errno value
// (0 where the failure has no system error, e.g. a write that came up short).
// Messages: "File not found", "Invalid filename", "Too many open files",
// "File access denied", "Read beyond end of file", "Disk full",
// "Invalid numeric input", "Not a regular file", otherwise "I/O error %d".
// path() names the file concerned where it is known; the message itself stays
// the fixed text.
class EInOutError : public Exception {
public:
    EInOutError(int code, const std::string& message) : Exception(message), code_(code) {}
    int code() const { return code_; }
    const std::filesystem::path& path() const { return path_; }
    void setPath(const std::filesystem::path& path) { path_ = path; }

private:
    int code_;
    std::filesystem::path path_;
};

// Runs `f`; an EInOutError it raises leaves with `path` as its file, unless it
// names one already.
template <class F>
decltype(auto) namingFile(const std::filesystem::path& path, F&& f)
{
    try {
        return f();
    } catch (EInOutError& e) {
        if (e.path().empty())
            e.setPath(path);
        throw;
    }
}

// Whole-list files: "Cannot open file %s" (reading) and "Cannot create file %s" (writing).
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// Integer text that is not a valid integer: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A path that cannot be written in code page 936.
class EPathEncodingError : public Exception {
public:
    using Exception::Exception;
};

// An error message as the default handler shows it (UTF-8): a full stop is
// appended when the text is not empty and its last character sorts above ".".
std::string withFullStop(std::string text);

// Builds the EInOutError for an errno value, with the message table above.
EInOutError inOutError(int errnoValue);
[[noreturn]] void throwInOutError(int errnoValue);

} // namespace vq
