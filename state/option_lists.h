// The three option-list files in the program's directory: "vqwebfaxset.ini"
// (the fax markers), "vqweblinkok.ini" (links must contain), "vqweblinkno.ini"
// (links must not contain); and the settings kept outside the search state:
// "vqhttps.ini" ("含https链接": "httpsyes" or "httpsno"), "vqframes.ini"
// ("含框架页": "framesyes" or "framesno"), "vqocr.ini" ("识别图片号码": "ocryes"
// or "ocrno"), "vqlanes.ini"
// ("同时打开", a number), "vqsite.ini" ("深度" and "跟随") and "vqvisitor.ini"
// (the user agent and the proxy). They load into
// the search setup and save from it.
#pragma once

#include "state/search_setup.h"

#include <filesystem>

namespace vq {

// Each list from its file, in that order, then those settings, each only when
// its file exists. Every file is tried; the first one that cannot be read is reported (rethrown) afterwards.
void loadOptionLists(SearchSetup& setup, const std::filesystem::path& programDir);
// Each list and setting to its file (atomically), in the same order; a file that cannot be
// written is skipped and the next is still written.
void saveOptionLists(const SearchSetup& setup, const std::filesystem::path& programDir);

// "深度" and "跟随" alone (a site crawl keeps them as it starts); raises when
// the file cannot be written.
void saveSiteCrawl(const SearchSetup& setup, const std::filesystem::path& programDir);

} // namespace vq
