// The result files a search leaves in the program's directory, and which search
// each of them belongs to.
//
// "autosave&web.txt" and "autosave&fax.txt" hold the link list and the fax list,
// one item per line. "vqresults.ini" (three lines, code page 936, CR LF) names
// the search behind each file, so that resuming a search after a restart takes
// back that search's results and no other's:
//   1 the search the search-state file "vqdornavik.ini" describes
//   2 the search whose links "autosave&web.txt" holds
//   3 the search whose fax numbers "autosave&fax.txt" holds
//   4, 5 what the result files held for a position of the state file, newest
//        first: "POSITION LINKS FAX" (lines done, then the items of each file
//        those lines found); written with the files, before the state file
// An empty line (or a missing file) means unknown: such a file was written
// before searches were named, and is taken as belonging to any search. A
// result file may hold more than the state file's position covers (a save
// that stopped after it, or a crash before the state file was written): a
// resume from that position takes back only the items lines 4 and 5 give.
#pragma once

#include "search/search_results.h"
#include "state/search_state.h"
#include "text/errors.h"

#include <cstdint>
#include <functional>
#include <vector>

#include <filesystem>
#include <string>

namespace vq {

inline constexpr const char* kAutosaveLinksName = "autosave&web.txt";
inline constexpr const char* kAutosaveFaxName = "autosave&fax.txt";
inline constexpr const char* kSearchRecordName = "vqresults.ini";
// Beside "autosave&fax.txt": the page each of its numbers was found on, line
// for line (an empty line when unknown).
inline constexpr const char* kFaxOriginsName = "vqorigins.txt";

struct SearchRecord {
    std::string state; // search ids; empty when unknown
    std::string links;
    std::string fax;
    // What the result files held for a position, newest first (at most two).
    struct Covered {
        int32_t position = 0;
        long long links = 0;
        long long fax = 0;
    };
    std::vector<Covered> covered;
};

// The file's size and time now, as the mark of its first `items` items of a
// list cleared `clears` times; bytes -1 when the file cannot be read.
FileMark markFile(const std::filesystem::path& path, size_t items, unsigned long long clears = 0);
// Whether the file still has the size and time its mark recorded.
bool stillAsMarked(const std::filesystem::path& path, const FileMark& mark);

// A name for a new search, unique within this directory's history.
std::string newSearchId();

SearchRecord readSearchRecord(const std::filesystem::path& programDir); // all empty when absent
void writeSearchRecord(const std::filesystem::path& programDir, const SearchRecord& record);

// Appends the saved results of the search the state file describes
// (record.state) to the lists: each autosave file that exists and belongs to
// that search, or to an unknown one. The restored items count as saved. The
// fax numbers take their pages back from the origins file when it matches
// the fax file line for line.
// The files' marks are set, so that the next save appends to them. A last line
// without its line break (cut short by a crash while it was added) is dropped.
// A resume from `position` takes back only what the files held for it, when
// the record knows, and nothing from position 0 (the lines after it are
// visited again); -1: everything.
void restoreSavedResults(const std::filesystem::path& programDir, const SearchRecord& record,
                         SearchResults& results, int32_t position = -1);

// The search-state file, and the record that it describes search `searchId`.
void writeStateOf(const std::filesystem::path& programDir, const StoredSearch& state,
                  const std::string& searchId);

// Notes in the record that the result files just written (links, fax or both)
// belong to search `searchId`, and, when given, what they hold for the
// position about to be written to the state file (the one before stays beside
// it while the state file still names it).
void recordResultFilesOf(const std::filesystem::path& programDir, const std::string& searchId, bool links,
                         bool fax, const SearchRecord::Covered* covered = nullptr);

// A save that did not reach the disk: the message names the file and the error,
// and what was not saved (the results kept in memory, the search position).
class SaveError : public Exception {
public:
    SaveError(const std::exception& cause, const std::filesystem::path& file, size_t links, size_t fax);
    const std::filesystem::path& file() const { return file_; }

private:
    static std::string describe(const std::exception& cause, const std::filesystem::path& file, size_t links,
                                size_t fax);
    std::filesystem::path file_;
};

// Saves a search (progress save and autosave): each result list that has items
// into its autosave file (an empty list leaves its file as it was), then the
// record of which search each file belongs to, then the state file, last. A
// file that still holds what the last save wrote gets only the items added
// since, appended; any other is replaced whole, atomically. When a file cannot
// be written the state file keeps its last position, the other list is still
// written, and SaveError is raised.
void saveSearch(const std::filesystem::path& programDir, const StoredSearch& state, SearchResults& results);

} // namespace vq
