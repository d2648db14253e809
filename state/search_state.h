// The search-state file "vqdornavik.ini": ten lines, written and read line by line.
//   1 list path   2 ProgressIndex   3 UrlTotal
//   4 "qcyes"/"qcno"   5 "webyes"/"webno"   6 "faxyes"/"faxno"
//   7 "sxyes"/"sxno"   8 "bzyes"/"bzno"     9 "saveyes"/"saveno"
//  10 speed in seconds
// It loads into the search setup and is written from it.
#pragma once

#include "state/search_setup.h"

#include <filesystem>

namespace vq {

inline constexpr const char* kSearchStateFileName = "vqdornavik.ini";

std::filesystem::path searchStatePath(const std::filesystem::path& programDir);
// Whether a file (not a directory) exists at the path; errors count as absent.
bool fileExists(const std::filesystem::path& path);
bool searchStateExists(const std::filesystem::path& programDir);

// The whole file.
struct StoredSearch {
    AnsiString listPath;
    SearchPosition position;
    bool dedup = false, links = false, fax = false, filter = false, site = false, autosave = false;
    int speed = 0; // seconds per page, as the speed field holds it
};

// The setup's values, at `position` (what the files written hold).
StoredSearch storedOf(const SearchSetup& setup, SearchPosition position);
inline StoredSearch storedOf(const SearchSetup& setup) { return storedOf(setup, setup.position()); }

// Replaces the file (atomically) with these values.
void writeSearchState(const std::filesystem::path& programDir, const StoredSearch& stored);

// Applies the ten lines in order: the list path, ProgressIndex, UrlTotal, the
// six switches, the speed (clamped to 1..60). A line 2, 3 or 10 that is not
// integer text raises EConvertError; the values applied before it stay.
void readSearchState(const std::filesystem::path& programDir, SearchSetup& setup);

} // namespace vq
