// The batch command's messages: what the window would show in a box goes to
// stderr; nothing waits for an answer.
#pragma once

#include "ports/prompts.h"

#include <functional>

namespace vq::cli {

class CliPrompts : public Prompts {
public:
    void information(const std::string& text) override;
    bool confirm(const std::string& text) override; // answered no
    void message(const std::string& text) override;
    void error(const std::string& text) override;
    void fileError(const std::string& text, const std::filesystem::path& file) override;
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> openFile(const FileDialogSpec&) override { return std::nullopt; }
    std::vector<std::filesystem::path> openFiles(const FileDialogSpec&) override { return {}; }
    std::optional<std::filesystem::path> saveFile(const FileDialogSpec&) override { return std::nullopt; }

    int failures = 0;                    // errors and refusals reported
    std::function<void()> beforeMessage; // e.g. end the progress line first
};

} // namespace vq::cli
