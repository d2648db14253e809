// The window's commands on files: "网址" (choose the URL list) and "整理" (merge
// and deduplicate text files). Qt-free; the dialogs come through Prompts.
#pragma once

#include "app/main_view.h"
#include "app/prompts.h"
#include "state/search_setup.h"

#include <filesystem>

namespace vq {

// "网址": the open dialog, then the chosen path into the setup (kept exactly as
// chosen), the list's lines counted as UrlTotal and shown in panel 1.
class UrlListSource {
public:
    UrlListSource(MainView& view, Prompts& prompts, SearchSetup& setup, std::filesystem::path programDir);
    void N1Click();

private:
    MainView& view_;
    Prompts& prompts_;
    SearchSetup& setup_;
    std::filesystem::path programDir_;
};

// "整理": the files to merge, the file to write, then the merge, with its
// messages in panel 6.
class MergeTool {
public:
    MergeTool(MainView& view, Prompts& prompts, std::filesystem::path programDir);
    void SpeedButton11Click();

private:
    MainView& view_;
    Prompts& prompts_;
    std::filesystem::path programDir_;
};

} // namespace vq
