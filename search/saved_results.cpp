#include "search/saved_results.h"

#include "state/search_state.h"
#include "text/atomic_file.h"
#include "text/errors.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <atomic>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <exception>

namespace vq {

namespace {

bool belongsTo(const std::string& fileSearch, const std::string& searchId)
{
    return fileSearch.empty() || searchId.empty() || fileSearch == searchId;
}

bool endsWithBreak(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() <= 0)
        return false;
    in.seekg(-1, std::ios::end);
    char last = 0;
    in.get(last);
    return last == '\n';
}

// Lines as they are written: each ended by CR LF.
long long writtenSize(const std::vector<AnsiString>& lines)
{
    long long n = 0;
    for (const AnsiString& line : lines)
        n += static_cast<long long>(line.size()) + 2;
    return n;
}

void restoreFile(const std::filesystem::path& path, ResultList& list, FileMark& mark, long long limit,
                 const std::filesystem::path& originsPath = {}, FileMark* originsMark = nullptr)
{
    if (!fileExists(path))
        return;
    std::vector<AnsiString> items = readAllLines(path);
    // A line without its break is one that a crash cut short while it was
    // being added: it is not a result, and the file is written whole next time.
    bool torn = !items.empty() && !endsWithBreak(path);
    if (torn)
        items.pop_back();
    std::vector<AnsiString> origins;
    if (!originsPath.empty() && fileExists(originsPath)) {
        try {
            origins = readAllLines(originsPath);
        } catch (const std::exception&) {
            origins.clear(); // the numbers matter, their pages are a help
        }
        if (origins.size() != items.size() && origins.size() != items.size() + (torn ? 1 : 0))
            origins.clear();
    }
    // Items beyond what the position resumed from covers are found again.
    if (limit >= 0 && static_cast<size_t>(limit) < items.size()) {
        items.resize(static_cast<size_t>(limit));
        torn = true; // the file holds more: written whole next time
    }
    if (origins.size() > items.size())
        origins.resize(items.size());
    const long long size = writtenSize(items);
    if (originsMark && !origins.empty()) {
        *originsMark = markFile(originsPath, origins.size(), list.clears());
        if (torn || originsMark->bytes != writtenSize(origins))
            originsMark->bytes = -1;
    }
    const size_t restored = items.size();
    for (size_t i = 0; i < items.size(); ++i)
        list.append(std::move(items[i]), origins.empty() ? AnsiString() : std::move(origins[i]));
    list.markSaved();
    mark = markFile(path, restored, list.clears());
    if (torn || mark.bytes != size)
        mark.bytes = -1; // not exactly what was read: written whole next time
}

// Brings the file up to the list's `count` items (`item(i)`): when the file is
// still what the last save left, only the items since are appended; otherwise
// the file is replaced whole. Either way the file on disk is at every moment
// a whole prefix of the list.
template <class Item>
void saveListFile(const std::filesystem::path& path, size_t count, Item&& item, unsigned long long clears,
                  FileMark& mark)
{
    if (mark.clears == clears && mark.items <= count && stillAsMarked(path, mark)) {
        if (mark.items == count)
            return; // nothing new
        std::string bytes;
        for (size_t i = mark.items; i < count; ++i) {
            bytes += item(i);
            bytes += "\r\n";
        }
        if (appendChecked(path, mark.bytes, bytes) >= 0) {
            mark = markFile(path, count, clears);
            return;
        }
    }
    mark = FileMark{};
    TextWriter writer(path);
    for (size_t i = 0; i < count; ++i)
        writer.writeLine(item(i));
    writer.commit();
    mark = markFile(path, count, clears);
}

} // namespace

FileMark markFile(const std::filesystem::path& path, size_t items, unsigned long long clears)
{
    FileMark mark;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return mark;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return mark;
    mark.items = items;
    mark.bytes = static_cast<long long>(size);
    mark.clears = clears;
    mark.time = time;
    return mark;
}

bool stillAsMarked(const std::filesystem::path& path, const FileMark& mark)
{
    if (mark.bytes < 0)
        return false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || static_cast<long long>(size) != mark.bytes)
        return false;
    const auto time = std::filesystem::last_write_time(path, ec);
    return !ec && time == mark.time;
}

std::string newSearchId()
{
    static std::atomic<unsigned> serial{0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return std::to_string(ms) + "-" + std::to_string(++serial);
}

SearchRecord readSearchRecord(const std::filesystem::path& programDir)
{
    SearchRecord record;
    const std::filesystem::path path = programDir / kSearchRecordName;
    if (!fileExists(path))
        return record;
    const std::vector<AnsiString> lines = readAllLines(path);
    std::string* fields[] = {&record.state, &record.links, &record.fax};
    for (size_t i = 0; i < std::size(fields) && i < lines.size(); ++i)
        *fields[i] = lines[i];
    for (size_t i = 3; i < lines.size() && i < 5; ++i) {
        std::istringstream in(lines[i]);
        SearchRecord::Covered c;
        if (in >> c.position >> c.links >> c.fax)
            record.covered.push_back(c);
    }
    return record;
}

void writeSearchRecord(const std::filesystem::path& programDir, const SearchRecord& record)
{
    std::vector<AnsiString> lines{record.state, record.links, record.fax};
    for (size_t i = 0; i < record.covered.size() && i < 2; ++i) {
        const SearchRecord::Covered& c = record.covered[i];
        lines.push_back(std::to_string(c.position) + " " + std::to_string(c.links) + " " + std::to_string(c.fax));
    }
    writeAllLines(programDir / kSearchRecordName, lines);
}

void restoreSavedResults(const std::filesystem::path& programDir, const SearchRecord& record,
                         SearchResults& results, int32_t position)
{
    // No line is done at position 0: nothing in the files can be its own.
    long long links = position == 0 ? 0 : -1;
    long long fax = links;
    for (const SearchRecord::Covered& c : record.covered) {
        if (position >= 0 && c.position == position) {
            links = c.links;
            fax = c.fax;
            break;
        }
    }
    if (belongsTo(record.links, record.state))
        restoreFile(programDir / kAutosaveLinksName, results.links, results.linksFile, links);
    if (belongsTo(record.fax, record.state))
        restoreFile(programDir / kAutosaveFaxName, results.fax, results.faxFile, fax, programDir / kFaxOriginsName,
                    &results.originsFile);
}

void writeStateOf(const std::filesystem::path& programDir, const StoredSearch& state,
                  const std::string& searchId)
{
    writeSearchState(programDir, state);
    SearchRecord record = readSearchRecord(programDir);
    if (record.state != searchId) {
        record.state = searchId;
        writeSearchRecord(programDir, record);
    }
}

void recordResultFilesOf(const std::filesystem::path& programDir, const std::string& searchId, bool links,
                         bool fax, const SearchRecord::Covered* covered)
{
    if (!links && !fax)
        return;
    SearchRecord record = readSearchRecord(programDir);
    if (links)
        record.links = searchId;
    if (fax)
        record.fax = searchId;
    if (covered) {
        std::vector<SearchRecord::Covered> kept{*covered};
        if (record.state == searchId && !record.covered.empty() && record.covered.front().position != covered->position)
            kept.push_back(record.covered.front());
        record.covered = kept;
    }
    writeSearchRecord(programDir, record);
}

SaveError::SaveError(const std::exception& cause, const std::filesystem::path& file, size_t links, size_t fax)
    : Exception(describe(cause, file, links, fax)), file_(file)
{
}

std::string SaveError::describe(const std::exception& cause, const std::filesystem::path& file, size_t links,
                                size_t fax)
{
    std::string text = withFullStop(cause.what());
    if (!file.empty())
        text = pathToUtf8(file) + ": " + text;
    std::string lost;
    if (links > 0)
        lost = std::to_string(links) + (links == 1 ? " link" : " links");
    if (fax > 0)
        lost += (lost.empty() ? "" : " and ") + std::to_string(fax) + (fax == 1 ? " fax number" : " fax numbers");
    text += " Not saved: " + (lost.empty() ? std::string() : lost + ", kept in memory, and ") +
            "the search position (the state file keeps the last one saved).";
    return text;
}

void saveSearch(const std::filesystem::path& programDir, const StoredSearch& state, SearchResults& results)
{
    // The result files first and the state last, so that the position written
    // never passes what the files hold. A list that cannot be written keeps
    // the state file as it was; the other list is still brought up to date.
    std::exception_ptr firstError;
    std::filesystem::path failedFile;
    bool linksWritten = false;
    bool faxWritten = false;
    auto attempt = [&](const std::filesystem::path& path, auto&& write) {
        try {
            write();
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
                failedFile = path;
            }
        }
    };
    auto saveList = [&](const char* name, ResultList& list, FileMark& mark, bool& written) {
        if (list.empty())
            return; // an empty list leaves its file as it was
        const std::filesystem::path path = programDir / name;
        attempt(path, [&] {
            saveListFile(path, list.size(), [&](size_t i) -> const AnsiString& { return list.at(i); },
                         list.clears(), mark);
            list.markSaved(); // in a file now, whatever happens to the rest
            written = true;
        });
    };
    saveList(kAutosaveLinksName, results.links, results.linksFile, linksWritten);
    saveList(kAutosaveFaxName, results.fax, results.faxFile, faxWritten);
    // The pages of the fax numbers, line for line; a stale file is replaced
    // with the numbers, or found not to match them when read back.
    if (faxWritten) {
        const std::filesystem::path path = programDir / kFaxOriginsName;
        attempt(path, [&] {
            saveListFile(path, results.fax.size(), [&](size_t i) -> const AnsiString& { return results.fax.origin(i); },
                         results.fax.clears(), results.originsFile);
        });
    }
    if (!firstError) {
        // Which search the files belong to, and what they hold for the
        // position about to be written.
        const SearchRecord::Covered now{state.position.progressIndex, static_cast<long long>(results.links.size()),
                                        static_cast<long long>(results.fax.size())};
        attempt(programDir / kSearchRecordName,
                [&] { recordResultFilesOf(programDir, results.searchId, linksWritten, faxWritten, &now); });
    }
    if (!firstError)
        attempt(searchStatePath(programDir), [&] { writeStateOf(programDir, state, results.searchId); });
    if (!firstError)
        return;
    try {
        std::rethrow_exception(firstError);
    } catch (const std::exception& e) {
        const size_t links = linksWritten ? 0 : results.links.size() - std::min(results.links.size(), results.linksFile.items);
        const size_t fax = faxWritten ? 0 : results.fax.size() - std::min(results.fax.size(), results.faxFile.items);
        throw SaveError(e, failedFile, links, fax);
    }
}

} // namespace vq
