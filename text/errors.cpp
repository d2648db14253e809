#include "text/errors.h"

#include "text/platform.h"

#include <cerrno>

namespace vq {

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
