// The three option-list files in the program's directory: "vqwebfaxset.ini"
// (Memo1, fax markers), "vqweblinkok.ini" (Memo4), "vqweblinkno.ini" (Memo5);
// and the settings kept outside the search state: "vqhttps.ini" (CheckBox9,
// "httpsyes" or "httpsno") and "vqlanes.ini" (SpinEdit2 "同时打开", a number).
#pragma once

#include "ports/main_view.h"

#include <filesystem>

namespace vq {

// Each memo from its file, in that order, then each of those switches, only when
// the file exists. Every file
// is tried; the first one that cannot be read is reported (rethrown) afterwards.
void loadOptionLists(MainView& view, const std::filesystem::path& programDir);
// Each memo and switch to its file (atomically), in the same order; a file that cannot be
// written is skipped and the next is still written.
void saveOptionLists(const MainView& view, const std::filesystem::path& programDir);

} // namespace vq
