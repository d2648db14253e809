// The window's engine on fakes with extra lanes, each its own fake browser,
// and an observer that keeps every line done. Header-only; links vq_engine.
#pragma once

#include "tests/support/engine_rig.h"
#include "tests/support/files.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vq {

inline AnsiString faxLine(const std::string& number) { return "\xB4\xAB\xD5\xE6\xA3\xBA" + number; }

// Hears what the window hears, and keeps every line done.
class Recorder : public SearchObserver {
public:
    explicit Recorder(SearchObserver& next) : next_(next) {}
    void started(const SearchProgress& p) override { next_.started(p); }
    void progress(const SearchProgress& p) override { next_.progress(p); }
    void pageDone(const PageRecord& r) override
    {
        records.push_back(r);
        if (onPageDone)
            onPageDone(r);
        next_.pageDone(r);
    }
    void status(const std::string& text) override { next_.status(text); }
    void finished(const SearchFinish& f) override { next_.finished(f); }
    void stepFailed(const std::exception& e) override { next_.stepFailed(e); }
    void saving(bool on) override { next_.saving(on); }

    std::vector<PageRecord> records;
    std::function<void(const PageRecord&)> onPageDone;

private:
    SearchObserver& next_;
};

// The engine on fakes with `extra` more lanes, each its own fake browser.
struct LaneRig {
    fake::EngineRig rig;
    std::vector<std::unique_ptr<fake::FakeBrowser>> browsers;
    Recorder recorder{rig.engine.shown()};
    std::vector<PageRecord>& records = recorder.records;
    LaneOptions options;

    explicit LaneRig(int extra = 0, LaneOptions laneOptions = {}) : options(laneOptions)
    {
        browsers.push_back(nullptr); // lane 0 is rig.browser
        for (int i = 0; i < extra; ++i) {
            browsers.push_back(std::make_unique<fake::FakeBrowser>());
            session().addLane(*browsers.back(), rig.clock.newTimer(), rig.clock.newTimer());
        }
        options.lanes = extra + 1;
        session().lanes().nowMs = [this] { return rig.clock.now(); };
        session().setObserver(&recorder);
        rig.setup.setChecked(Switch::Links, false);
        rig.setup.setChecked(Switch::Fax, true);
        rig.setup.setSpeed(1);
    }
    SearchSession& session() { return rig.engine.session; }
    // "搜索" with the lane options.
    void start()
    {
        rig.setup.setLanes(options);
        session().start();
    }
    fake::FakeBrowser& browser(size_t lane) { return lane == 0 ? rig.browser : *browsers[lane]; }

    // Every page's document carries one number: "0519-1000000" + its own digit(s)
    // unless `numbers` says otherwise.
    void list(const std::vector<AnsiString>& addresses, const std::map<AnsiString, std::string>& numbers = {})
    {
        rig.writeUrlList(addresses);
        for (size_t lane = 0; lane < browsers.size(); ++lane) {
            for (size_t i = 0; i < addresses.size(); ++i) {
                const auto it = numbers.find(addresses[i]);
                const std::string number = it != numbers.end() ? it->second : "0519-1000000" + std::to_string(i + 1);
                browser(lane).pages[addresses[i]] = {addresses[i], {}, faxLine(number)};
            }
        }
    }
    std::vector<PageOutcome> outcomes() const
    {
        std::vector<PageOutcome> o;
        for (const auto& r : records)
            o.push_back(r.outcome);
        return o;
    }
    std::vector<AnsiString> fax() const { return {rig.engine.fax.items().begin(), rig.engine.fax.items().end()}; }
    int32_t statePosition() const
    {
        const std::string state = test::readBytes(rig.programDir / "vqdornavik.ini");
        const size_t first = state.find("\r\n");
        return std::stoi(state.substr(first + 2));
    }
};


} // namespace vq
