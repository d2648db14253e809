// The search-state file "vqdornavik.ini": ten lines, written and read line by line.
//   1 list path (Edit5)   2 ProgressIndex   3 UrlTotal
//   4 "qcyes"/"qcno"   5 "webyes"/"webno"   6 "faxyes"/"faxno"
//   7 "sxyes"/"sxno"   8 "bzyes"/"bzno"     9 "saveyes"/"saveno"
//  10 speed in seconds
#pragma once

#include "ports/main_view.h"

#include <cstdint>

#include <filesystem>

namespace vq {

inline constexpr const char* kSearchStateFileName = "vqdornavik.ini";

std::filesystem::path searchStatePath(const std::filesystem::path& programDir);
// Whether a file (not a directory) exists at the path; errors count as absent.
bool fileExists(const std::filesystem::path& path);
bool searchStateExists(const std::filesystem::path& programDir);

// The two numbers of the file: the lines done (the resume point) and the
// lines counted in the list.
struct SearchPosition {
    int32_t progressIndex = 0; // ProgressIndex
    int32_t urlTotal = 0;      // UrlTotal
};

// The whole file.
struct StoredSearch {
    AnsiString listPath;
    SearchPosition position;
    bool dedup = false, links = false, fax = false, filter = false, site = false, autosave = false;
    int speed = 0; // seconds per page, as the speed field holds it
};

// The window's values: its controls and the position.
StoredSearch storedFromView(const MainView& view, SearchPosition position);

// Replaces the file (atomically) with these values.
void writeSearchState(const std::filesystem::path& programDir, const StoredSearch& stored);

// Applies the ten lines in order: Edit5, ProgressIndex, UrlTotal, the six
// switches, the speed. A line 2, 3 or 10 that is not integer text raises
// EConvertError; the values applied before it stay.
void readSearchState(const std::filesystem::path& programDir, MainView& view,
                     SearchPosition& position);

} // namespace vq
