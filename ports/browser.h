// The embedded browser as the search engine sees it. The Qt WebEngine version
// lives in app/; tests use a fake. All texts are ANSI (code page 936).
#pragma once

#include "text/ansi.h"

#include <functional>

namespace vq {

// Identity of the browser object of a window or frame, as passed with an event.
// Only compared, never dereferenced. nullptr means none.
using FrameId = const void*;

class Browser {
public:
    virtual ~Browser() = default;

    // Starts loading the address. May throw; callers swallow the error.
    virtual void navigate(const AnsiString& url) = 0;

    // Whether the browser holds a document at all.
    virtual bool hasDocument() = 0;

    // The reads below throw vq::Exception when the document cannot be read.
    virtual AnsiString locationUrl() = 0;      // empty when none
    virtual int linkCount() = 0;               // document.links.length
    virtual AnsiString link(int index) = 0;    // absolute href of link `index`
    virtual AnsiString bodyText() = 0;         // document.body.outerText

    // Events: NavigateComplete2 and DocumentComplete, each with the object of the
    // window or frame concerned and its address (which the search ignores).
    std::function<void(FrameId, const AnsiString&)> onNavigateComplete2;
    std::function<void(FrameId, const AnsiString&)> onDocumentComplete;
};

} // namespace vq
