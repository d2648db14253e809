// The files the save commands write from the result lists: both lists in one
// file ("保存"), one list or a selection of it ("导出…"), and the lines of a
// search that did not end scanned ("导出失败地址…"). Each file is replaced
// atomically.
#pragma once

#include "ports/search_observer.h"
#include "search/result_list.h"

#include <cstddef>
#include <filesystem>
#include <vector>

namespace vq {

// Both result lists, CR LF after every line:
//
//   [传真号码表]
//   <each fax number, in list order>
//   <an empty line>
//   [网址链接表]
//   <each link, in list order>
//
// Both headers are always written, also for an empty list. The lists count as saved.
void writeBothLists(const std::filesystem::path& path, ResultList& fax, ResultList& links);

// The list's items, one per line; the list counts as saved.
void writeList(const std::filesystem::path& path, ResultList& list);
// The items at `rows` (sorted, each once, each within the list), in list order.
void writeRows(const std::filesystem::path& path, const ResultList& list, const std::vector<size_t>& rows);

// One line per failed line: line number, kind and address, separated by a tab.
void writeFailedLines(const std::filesystem::path& path, const std::vector<PageRecord>& failed);

} // namespace vq
