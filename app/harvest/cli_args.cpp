#include "app/harvest/cli_args.h"

#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <filesystem>

namespace vq::cli {

std::vector<AnsiString> defaultMarkers()
{
    return {utf8ToAnsi("传真："), utf8ToAnsi("FAX："), utf8ToAnsi("传真号：")};
}

bool wantsHelp(const std::vector<std::string>& args)
{
    for (const auto& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

std::string optionValue(const std::vector<std::string>& args, size_t& i)
{
    if (i + 1 >= args.size())
        throw UsageError("option " + args[i] + " needs a value");
    return args[++i];
}

int32_t integerArgument(const std::string& name, const std::string& text)
{
    try {
        return strToInt(text);
    } catch (const EConvertError&) {
        throw UsageError(name + " must be an integer, not '" + text + "'");
    }
}

std::vector<AnsiString> loadMarkers(const std::string& file)
{
    if (!std::filesystem::exists(file))
        throw Exception("marker file not found: " + file);
    return loadList(file);
}

std::string describe(const std::exception& e)
{
    if (const auto* io = dynamic_cast<const EInOutError*>(&e); io && !io->path().empty())
        return pathToUtf8(io->path()) + ": " + e.what();
    return e.what();
}

} // namespace vq::cli
