// The page-complete rule: PageComplete (0 loading, 9 complete) and the kept
// top-frame reference TopFrameDispatch, driven by the browser's
// NavigateComplete2 and DocumentComplete events.
#pragma once

#include "ports/browser.h"

namespace vq {

class PageCompleteRule {
public:
    // Connects the rule to the browser's two completion events.
    void attach(Browser& browser);

    void reset() { pageComplete_ = 0; }       // before each navigation
    void navigateComplete2(FrameId frame);     // holds the first frame named while none is held
    void documentComplete(FrameId frame);      // the held frame: complete, and release it

    int pageComplete() const { return pageComplete_; }
    bool complete() const { return pageComplete_ != 0; }
    FrameId topFrameDispatch() const { return held_; }

private:
    int pageComplete_ = 0;
    FrameId held_ = nullptr;
};

} // namespace vq
