// User prompts: message boxes, the input box and the file dialogs. All texts are
// UTF-8. The Qt version (app/) uses the Chinese button texts; tests script a fake.
#pragma once

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vq {

// The filter of every text-file dialog of the main window's commands.
inline constexpr const char* kTextFileFilter = "Text files(*.txt)|*.txt|All files(*.*)|*.*";

struct FileDialogSpec {
    std::string title;
    std::string filter;      // "Text files(*.txt)|*.txt|All files(*.*)|*.*"
    std::string defaultExt;  // "txt"
    std::filesystem::path initialDir;
    bool confirmOverwrite = false;
};

// A dialog for a text file of the window's commands, starting in `initialDir`;
// a save dialog asks before an existing file is replaced.
FileDialogSpec textFileDialog(const std::string& title, const std::filesystem::path& initialDir,
                              bool confirmOverwrite = false);

class Prompts {
public:
    virtual ~Prompts() = default;

    // Caption "信息", information icon, one button "确定".
    virtual void information(const std::string& text) = 0;
    // Caption "确认", question icon, "(&Y)是" / "(&N)否"; Esc and the close box answer No.
    virtual bool confirm(const std::string& text) = 0;
    // Caption the application title, no icon, one button "确定".
    virtual void message(const std::string& text) = 0;
    // The default handler's box: caption the application title, stop icon, OK.
    virtual void error(const std::string& text) = 0;
    // The same for a file error whose file is known. The window shows the text
    // alone; the batch command names the file.
    virtual void fileError(const std::string& text, const std::filesystem::path& file)
    {
        (void)file;
        error(text);
    }
    // One field (at most 255 characters) pre-filled with `initial`, "确定" / "放弃".
    // Only "确定" returns the text, exactly as typed.
    virtual std::optional<std::string> inputBox(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial) = 0;

    virtual std::optional<std::filesystem::path> openFile(const FileDialogSpec& dialogSpec) = 0;
    virtual std::vector<std::filesystem::path> openFiles(const FileDialogSpec& dialogSpec) = 0; // empty = cancelled
    virtual std::optional<std::filesystem::path> saveFile(const FileDialogSpec& dialogSpec) = 0;
};

// The application's default handler: the exception's message, with a full stop
// appended when the message is not empty and its last character sorts above ".",
// shown through prompts.error().
std::string defaultHandlerText(const std::exception& e);
void reportException(Prompts& prompts, const std::exception& e);

// Runs a handler; an exception it raises ends it and goes to the default handler.
template <class F>
void guarded(Prompts& prompts, F&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        reportException(prompts, e);
    }
}

} // namespace vq
