#include "text/paths.h"

#include "text/errors.h"
#include "text/platform.h"

#include <system_error>

namespace vq {

std::string pathToUtf8(const std::filesystem::path& path)
{
    // UTF-8 on every platform; on POSIX systems the bytes of the name as they are.
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path utf8ToPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path ansiToPath(std::string_view ansi)
{
    return utf8ToPath(ansiToUtf8(ansi));
}

AnsiString pathToAnsi(const std::filesystem::path& path)
{
    const std::string text = pathToUtf8(path);
    if (!representableInAnsi(text)) {
        // Refused rather than converted: a "?" in its place would name another file.
        throw EPathEncodingError("路径含有无法用GBK编码表示的字符：" + text);
    }
    return utf8ToAnsi(text);
}

std::filesystem::path executableDirectory()
{
    return platform::executablePath().parent_path();
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
        platform::directoryWritable(executableDir))
        return executableDir;
    std::error_code ec;
    std::filesystem::create_directories(userDataDir, ec);
    if (ec)
        throwInOutError(ec.default_error_condition().value());
    return userDataDir;
}

} // namespace vq
