// The whole engine on fakes, with its program directory in a fresh temporary
// directory. Header-only; a test using it links vq_engine.
#pragma once

#include "app/engine.h"
#include "tests/support/fakes.h"
#include "text/paths.h"
#include "text/text_file.h"

#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vq::fake {

// FakePrompts that also keeps the last save-dialog description and can run a
// hook while the input box is "open" (to look at the window at that moment).
class RigPrompts : public FakePrompts {
public:
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override
    {
        if (whileInput)
            whileInput();
        return FakePrompts::inputBox(caption, prompt, initial);
    }
    std::optional<std::filesystem::path> saveFile(const FileDialogSpec& dialogSpec) override
    {
        lastSaveSpec = dialogSpec;
        return FakePrompts::saveFile(dialogSpec);
    }

    std::function<void()> whileInput;
    std::optional<FileDialogSpec> lastSaveSpec;
};

struct EngineRig {
    // Without a directory, a fresh temporary one (removed with the rig).
    explicit EngineRig(std::filesystem::path dir = {})
        : temp(dir.empty() ? std::make_unique<QTemporaryDir>() : nullptr),
          programDir(temp ? std::filesystem::path(temp->path().toStdString()) : std::move(dir)),
          timer1(clock.newTimer()), timer2(clock.newTimer()), timer3(clock.newTimer()),
          engine(EnginePorts{view, prompts, browser, host, timer1, timer2, timer3, programDir})
    {
    }

    // A URL list file in the program directory, chosen as the list (Edit5).
    std::filesystem::path writeUrlList(const std::vector<AnsiString>& lines,
                                       const std::string& name = "list.txt")
    {
        const std::filesystem::path path = programDir / name;
        writeAllLines(path, lines);
        setup.setListPath(pathToAnsi(path));
        setup.setUrlTotal(static_cast<int32_t>(lines.size()));
        return path;
    }

    bool anyTimerRunning() const { return timer1.enabled() || timer2.enabled() || timer3.enabled(); }

    std::unique_ptr<QTemporaryDir> temp;
    std::filesystem::path programDir;
    ManualClock clock;
    FakeTimer& timer1;
    FakeTimer& timer2;
    FakeTimer& timer3;
    FakeMainView view;
    RigPrompts prompts;
    FakeBrowser browser;
    FakeHostLookup host;
    Engine engine;
    SearchSetup& setup = engine.setup(); // what the window's controls would set
};

} // namespace vq::fake
