// The merge-and-deduplicate tool ("整理").
#pragma once

#include "text/ansi.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vq {

// Reads every input (whole-list discipline), keeps each entry once under a
// case-insensitive collation for `locale` (the first one met wins), sorts, and
// writes the output atomically only after all inputs were read.
void mergeFiles(const std::vector<std::filesystem::path>& inputs,
                const std::filesystem::path& output,
                const std::string& locale = "zh_CN");

// The core of mergeFiles: the distinct entries in collation order. Two entries
// are one when the collator (secondary strength) finds them equal and they are
// equal after Unicode case folding, so only letter case is ignored; the first
// one met is kept.
std::vector<AnsiString> distinctSorted(std::vector<AnsiString> entries,
                                       const std::string& locale = "zh_CN");

// The user's collation locale: LC_ALL, LC_COLLATE or LANG (the first one set),
// when it names a language ICU knows; otherwise "zh_CN". On Windows: the user's
// default locale (e.g. "zh-CN").
std::string userCollationLocale();

} // namespace vq
