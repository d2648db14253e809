#include "app/engine.h"

#include "state/option_lists.h"
#include "state/search_state.h"

#include <exception>

namespace vq {

Engine::Engine(EnginePorts p)
    : ports(std::move(p)),
      urlList(ports.view, ports.prompts, counters, ports.programDir),
      harvester(ports.browser, ports.view, links, counters),
      extractor(ports.browser, ports.view, fax, counters),
      driver(ports.view, ports.prompts, ports.browser, ports.host,
             ports.timer1, ports.timer2, ports.timer3,
             urlList, page, harvester, extractor, links, fax, counters, ports.programDir),
      resume(ports.view, ports.prompts, ports.host, ports.timer1, ports.timer2, ports.timer3,
             urlList, driver, links, fax, counters, ports.programDir),
      progress(ports.view, ports.prompts, ports.timer2, driver, links, fax, counters, ports.programDir),
      merge(ports.view, ports.prompts, ports.programDir)
{
    page.attach(ports.browser);
    driver.saveResults = [this] { progress.Button2Click(); };

    ports.timer1.setEnabled(false);
    ports.timer1.setInterval(8000);
    ports.timer2.setEnabled(false);
    ports.timer2.setInterval(300000);
    ports.timer3.setEnabled(false);
    ports.timer3.setInterval(300000);

    // A failing tick is reported and the program goes on; the handler itself
    // decides what state its timer is left in.
    ports.timer1.onTimer = [this] { guarded(ports.prompts, [this] { driver.Timer1Timer(); }); };
    ports.timer3.onTimer = [this] { guarded(ports.prompts, [this] { driver.Timer3Timer(); }); };
    ports.timer2.onTimer = [this] { guarded(ports.prompts, [this] { progress.Timer2Timer(); }); };
}

void Engine::loadSettings()
{
    // An unreadable option list must not keep the search state from loading:
    // the state is read either way, and the first failure is raised after.
    std::exception_ptr failure;
    try {
        loadOptionLists(ports.view, ports.programDir);
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    if (searchStateExists(ports.programDir)) {
        try {
            readSearchState(ports.programDir, ports.view, counters);
        } catch (const std::exception&) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void Engine::saveSettings()
{
    saveOptionLists(ports.view, ports.programDir);
}

} // namespace vq
