#include "text/paths.h"

#include "text/errors.h"

#include <unistd.h>

#include <system_error>

namespace vq {

std::filesystem::path ansiToPath(std::string_view ansi)
{
    return std::filesystem::path(ansiToUtf8(ansi));
}

AnsiString pathToAnsi(const std::filesystem::path& path)
{
    const std::string& native = path.native();
    if (!representableInAnsi(native)) {
        // Refused rather than converted: a "?" in its place would name another file.
        throw EPathEncodingError("路径含有无法用GBK编码表示的字符：" + native);
    }
    return utf8ToAnsi(native);
}

namespace {

bool isInstalledCopy(const std::filesystem::path& executableDir, std::string_view desktopEntry)
{
    if (desktopEntry.empty() || executableDir.empty())
        return false;
    std::error_code ec;
    const auto entry = executableDir / ".." / "share" / "applications" / desktopEntry;
    return std::filesystem::is_regular_file(entry, ec);
}

} // namespace

std::filesystem::path chooseProgramDir(const std::filesystem::path& executableDir,
                                       const std::filesystem::path& userDataDir,
                                       std::string_view desktopEntry)
{
    if (!executableDir.empty() && !isInstalledCopy(executableDir, desktopEntry) &&
        ::access(executableDir.c_str(), W_OK) == 0)
        return executableDir;
    std::error_code ec;
    std::filesystem::create_directories(userDataDir, ec);
    if (ec)
        throwInOutError(ec.value());
    return userDataDir;
}

} // namespace vq
