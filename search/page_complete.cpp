#include "search/page_complete.h"

namespace vq {

void PageCompleteRule::attach(Browser& browser)
{
    browser.onNavigateComplete2 = [this](FrameId frame, const AnsiString&) { navigateComplete2(frame); };
    browser.onDocumentComplete = [this](FrameId frame, const AnsiString&) { documentComplete(frame); };
}

void PageCompleteRule::navigateComplete2(FrameId frame)
{
    // The first object named after a completion is the top-level window (the
    // browser reports a navigation's top level before its frames).
    if (held_ == nullptr)
        held_ = frame;
}

void PageCompleteRule::documentComplete(FrameId frame)
{
    // Compared by identity: frames complete with their own object and never
    // set the marker.
    if (frame != nullptr && frame == held_) {
        pageComplete_ = 9;
        held_ = nullptr;
    }
}

} // namespace vq
