#include "search/saved_results.h"

#include "state/search_state.h"
#include "text/text_file.h"

#include <atomic>
#include <chrono>
#include <exception>

namespace vq {

namespace {

bool belongsTo(const std::string& fileSearch, const std::string& searchId)
{
    return fileSearch.empty() || searchId.empty() || fileSearch == searchId;
}

void restoreFile(const std::filesystem::path& path, ResultList& list, const std::filesystem::path& originsPath = {})
{
    if (!fileExists(path))
        return;
    std::vector<AnsiString> items = readAllLines(path);
    std::vector<AnsiString> origins;
    if (!originsPath.empty() && fileExists(originsPath)) {
        try {
            origins = readAllLines(originsPath);
        } catch (const std::exception&) {
            origins.clear(); // the numbers matter, their pages are a help
        }
        if (origins.size() != items.size())
            origins.clear();
    }
    for (size_t i = 0; i < items.size(); ++i)
        list.append(std::move(items[i]), origins.empty() ? AnsiString() : std::move(origins[i]));
    list.markSaved();
}

} // namespace

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
    return record;
}

void writeSearchRecord(const std::filesystem::path& programDir, const SearchRecord& record)
{
    writeAllLines(programDir / kSearchRecordName, {record.state, record.links, record.fax});
}

void restoreSavedResults(const std::filesystem::path& programDir, const SearchRecord& record,
                         ResultList& links, ResultList& fax)
{
    if (belongsTo(record.links, record.state))
        restoreFile(programDir / kAutosaveLinksName, links);
    if (belongsTo(record.fax, record.state))
        restoreFile(programDir / kAutosaveFaxName, fax, programDir / kFaxOriginsName);
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
                         bool fax)
{
    if (!links && !fax)
        return;
    SearchRecord record = readSearchRecord(programDir);
    if (links)
        record.links = searchId;
    if (fax)
        record.fax = searchId;
    writeSearchRecord(programDir, record);
}

void saveSearch(const std::filesystem::path& programDir, const StoredSearch& state,
                SearchResults& results, const std::function<void()>& beforeFile)
{
    std::exception_ptr firstError;
    auto attempt = [&firstError](auto&& write) {
        try {
            write();
        } catch (...) {
            if (!firstError)
                firstError = std::current_exception();
        }
    };

    attempt([&] { writeStateOf(programDir, state, results.searchId); });
    bool linksWritten = false;
    bool faxWritten = false;
    auto writeList = [&](const char* name, ResultList& list, bool& written) {
        if (list.empty())
            return;
        if (beforeFile)
            beforeFile();
        attempt([&] {
            TextWriter writer(programDir / name);
            for (const AnsiString& item : list.items())
                writer.writeLine(item);
            writer.commit();
            list.markSaved();
            written = true;
        });
    };
    // The pages of the fax numbers, line for line; a stale file is replaced
    // with the numbers, or found not to match them when read back.
    auto writeOrigins = [&] {
        TextWriter writer(programDir / kFaxOriginsName);
        for (size_t i = 0; i < results.fax.size(); ++i)
            writer.writeLine(results.fax.origin(i));
        writer.commit();
    };
    writeList(kAutosaveLinksName, results.links, linksWritten);
    writeList(kAutosaveFaxName, results.fax, faxWritten);
    if (faxWritten)
        attempt(writeOrigins);
    attempt([&] { recordResultFilesOf(programDir, results.searchId, linksWritten, faxWritten); });
    if (firstError)
        std::rethrow_exception(firstError);
}

} // namespace vq
