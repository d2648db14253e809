// The search-state file "vqdornavik.ini": ten lines, written and read line by line.
//   1 list path (Edit5)   2 ProgressIndex   3 UrlTotal
//   4 "qcyes"/"qcno"   5 "webyes"/"webno"   6 "faxyes"/"faxno"
//   7 "sxyes"/"sxno"   8 "bzyes"/"bzno"     9 "saveyes"/"saveno"
//  10 speed in seconds
#pragma once

#include "ports/main_view.h"
#include "search/counters.h"

#include <filesystem>

namespace vq {

inline constexpr const char* kSearchStateFileName = "vqdornavik.ini";

std::filesystem::path searchStatePath(const std::filesystem::path& programDir);
// Whether a file (not a directory) exists at the path; errors count as absent.
bool fileExists(const std::filesystem::path& path);
bool searchStateExists(const std::filesystem::path& programDir);

// Replaces the file (atomically) with the current values.
void writeSearchState(const std::filesystem::path& programDir, const MainView& view,
                      const SearchCounters& counters);

// Applies the ten lines in order: Edit5, ProgressIndex, UrlTotal, the six
// switches, the speed. A line 2, 3 or 10 that is not integer text raises
// EConvertError; the values applied before it stay.
void readSearchState(const std::filesystem::path& programDir, MainView& view,
                     SearchCounters& counters);

} // namespace vq
