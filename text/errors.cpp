#include "text/errors.h"

#include "text/platform.h"

#include <cerrno>

namespace vq {

namespace {
// The last code point of UTF-8 text (0 when empty).
char32_t lastCodePoint(const std::string& s)
{
    if (s.empty())
        return 0;
    size_t i = s.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        --i;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + i);
    const size_t n = s.size() - i;
    if (p[0] < 0x80 || n == 1)
        return p[0];
    char32_t cp = p[0] & (p[0] >= 0xF0 ? 0x07 : p[0] >= 0xE0 ? 0x0F : 0x1F);
    for (size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (p[k] & 0x3F);
    return cp;
}
} // namespace

std::string withFullStop(std::string text)
{
    if (!text.empty() && lastCodePoint(text) > U'.')
        text += '.';
    return text;
}

EInOutError inOutError(int errnoValue)
{
    const char* message = nullptr;
    if (platform::quotaExceeded(errnoValue))
        return EInOutError(errnoValue, "Disk full");
    switch (errnoValue) {
    case ENOENT:
        message = "File not found";
        break;
    case ENAMETOOLONG:
    case EISDIR:
    case ENOTDIR:
    case ELOOP:
        message = "Invalid filename";
        break;
    case EMFILE:
    case ENFILE:
        message = "Too many open files";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        message = "File access denied";
        break;
    case ENODEV:
        message = "Not a regular file";
        break;
    case ENOSPC:
        message = "Disk full";
        break;
    default:
        return EInOutError(errnoValue, "I/O error " + std::to_string(errnoValue));
    }
    return EInOutError(errnoValue, message);
}

void throwInOutError(int errnoValue)
{
    throw inOutError(errnoValue);
}

} // namespace vq
