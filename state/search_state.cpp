#include "state/search_state.h"

#include "text/integer.h"
#include "text/text_file.h"

#include <iterator>
#include <system_error>

namespace vq {
namespace {

// The six switches in file order (lines 4 to 9) with their stored words.
struct SwitchLine {
    Switch which;
    const char* yes;
    const char* no;
};

constexpr SwitchLine kSwitchLines[] = {
    {Switch::Dedup, "qcyes", "qcno"},
    {Switch::Links, "webyes", "webno"},
    {Switch::Fax, "faxyes", "faxno"},
    {Switch::LinkFilter, "sxyes", "sxno"},
    {Switch::OnlySite, "bzyes", "bzno"},
    {Switch::Autosave, "saveyes", "saveno"},
};

} // namespace

std::filesystem::path searchStatePath(const std::filesystem::path& programDir)
{
    return programDir / kSearchStateFileName;
}

bool fileExists(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool searchStateExists(const std::filesystem::path& programDir)
{
    return fileExists(searchStatePath(programDir));
}

StoredSearch storedOf(const SearchSetup& setup, SearchPosition position)
{
    StoredSearch s;
    s.listPath = setup.listPath();
    s.position = position;
    s.dedup = setup.isChecked(Switch::Dedup);
    s.links = setup.isChecked(Switch::Links);
    s.fax = setup.isChecked(Switch::Fax);
    s.filter = setup.isChecked(Switch::LinkFilter);
    s.site = setup.isChecked(Switch::OnlySite);
    s.autosave = setup.isChecked(Switch::Autosave);
    s.speed = setup.speed();
    return s;
}

void writeSearchState(const std::filesystem::path& programDir, const StoredSearch& stored)
{
    const bool switches[] = {stored.dedup, stored.links, stored.fax, stored.filter, stored.site, stored.autosave};
    // The new state goes to a temporary file that replaces the old one only when
    // complete, so a failure or a crash part-way keeps the previous state.
    TextWriter writer(searchStatePath(programDir));
    writer.writeLine(stored.listPath);
    writer.writeLine(intToStr(stored.position.progressIndex));
    writer.writeLine(intToStr(stored.position.urlTotal));
    for (size_t i = 0; i < std::size(kSwitchLines); ++i)
        writer.writeLine(switches[i] ? kSwitchLines[i].yes : kSwitchLines[i].no);
    writer.writeLine(intToStr(stored.speed));
    writer.commit();
}

void readSearchState(const std::filesystem::path& programDir, SearchSetup& setup)
{
    // Each value is applied as soon as its line is read, so a bad number line
    // leaves the values before it in place. Past the end of a short file the
    // reader yields empty lines: switches off, and a number line raises.
    // The reader closes the file when it goes out of scope on an error.
    TextReader reader(searchStatePath(programDir));
    setup.setListPath(reader.readLine());
    setup.setProgressIndex(strToInt(reader.readLine()));
    setup.setUrlTotal(strToInt(reader.readLine()));
    for (const SwitchLine& line : kSwitchLines)
        setup.setChecked(line.which, reader.readLine() == line.yes); // exact, case-sensitive
    setup.setSpeed(clampedSpeed(strToInt(reader.readLine())));
    reader.close();
}

} // namespace vq
