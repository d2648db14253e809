#include "search/search_settings.h"

namespace vq {

LiveSettings liveOf(const SearchSetup& setup)
{
    return LiveSettings{setup.speed(), setup.isChecked(Switch::Links), setup.isChecked(Switch::Fax),
                        setup.isChecked(Switch::Autosave)};
}

SearchSettings settingsOf(const SearchSetup& setup)
{
    SearchSettings s;
    s.listPath = setup.listPath();
    s.dedup = setup.isChecked(Switch::Dedup);
    s.filter = setup.isChecked(Switch::LinkFilter);
    s.site = setup.isChecked(Switch::OnlySite);
    s.https = setup.isChecked(Switch::Https);
    s.frames = setup.isChecked(Switch::Frames);
    s.fast = setup.isChecked(Switch::Fast);
    s.settleIdle = setup.isChecked(Switch::SettleIdle);
    s.ocr = setup.isChecked(Switch::Ocr);
    s.userAgent = setup.visitor().userAgent;
    const RobotsRule robots = setup.visitor().robots;
    s.robots = robots == RobotsRule::Obey ||
               (robots == RobotsRule::Default && setup.frontier().on && setup.frontier().depth > 0);
    s.apply(liveOf(setup));
    s.markers = setup.list(OptionList::FaxMarkers);
    s.mustContain = setup.list(OptionList::MustContain);
    s.mustNotContain = setup.list(OptionList::MustNotContain);
    s.lanes = setup.lanes();
    // The shards split a list's lines; a frontier's seeds are split when
    // they are planted, so that its lanes visit every line they are given.
    if (setup.frontier().on) {
        s.lanes.shardIndex = 0;
        s.lanes.shardCount = 1;
    }
    s.frontier = setup.frontier();
    return s;
}

} // namespace vq
