// The merge-and-deduplicate tool ("整理").
#pragma once

#include "ports/main_view.h"
#include "ports/prompts.h"

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
