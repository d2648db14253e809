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
// An empty line (or a missing file) means unknown: such a file was written
// before searches were named, and is taken as belonging to any search.
#pragma once

#include "search/search_results.h"
#include "state/search_state.h"

#include <functional>

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
};

// A name for a new search, unique within this directory's history.
std::string newSearchId();

SearchRecord readSearchRecord(const std::filesystem::path& programDir); // all empty when absent
void writeSearchRecord(const std::filesystem::path& programDir, const SearchRecord& record);

// Appends the saved results of the search the state file describes
// (record.state) to the lists: each autosave file that exists and belongs to
// that search, or to an unknown one. The restored items count as saved. The
// fax numbers take their pages back from the origins file when it matches
// the fax file line for line.
void restoreSavedResults(const std::filesystem::path& programDir, const SearchRecord& record,
                         ResultList& links, ResultList& fax);

// The search-state file, and the record that it describes search `searchId`.
void writeStateOf(const std::filesystem::path& programDir, const StoredSearch& state,
                  const std::string& searchId);

// Notes in the record that the result files just written (links, fax or both)
// belong to search `searchId`.
void recordResultFilesOf(const std::filesystem::path& programDir, const std::string& searchId, bool links,
                         bool fax);

// Saves a search (progress save and autosave): the state file, then each result
// list that has items into its autosave file (an empty list leaves its file as
// it was), then the record of which search each file belongs to. Every file is
// replaced atomically. The writes are independent: one that fails does not keep
// the others from being written, and the first failure is raised afterwards.
// `beforeFile` runs before each list is written.
void saveSearch(const std::filesystem::path& programDir, const StoredSearch& state,
                SearchResults& results, const std::function<void()>& beforeFile = {});

} // namespace vq
