// The embedded browser as the search engine sees it. The Qt WebEngine version
// lives in app/; tests use a fake. All texts are ANSI (code page 936).
#pragma once

#include "text/ansi.h"

#include <functional>
#include <vector>

namespace vq {

// Identity of the browser object of a window or frame, as passed with an event.
// Only compared, never dereferenced. nullptr means none.
using FrameId = const void*;

// How the latest navigation has gone, as far as the browser knows.
enum class LoadResult {
    Pending,      // still loading, or nothing to tell
    Succeeded,    // the document arrived
    Failed,       // the load ended with an error (refused, unreachable, HTTP error)
    RendererGone, // the process rendering the page died or was ended; nothing can be read
    // As RendererGone, but not known to be this page's doing: the process
    // also rendered other pages (whose script may have hung, grown or
    // crashed it), or it was being ended for the page before. Worth another try.
    SharedRendererGone,
};

// Whether the page's renderer is gone, for whatever reason.
inline bool rendererGone(LoadResult r)
{
    return r == LoadResult::RendererGone || r == LoadResult::SharedRendererGone;
}

// A frame's document (a frame or iframe of the page, at any depth), read
// with the page.
struct FrameDocument {
    AnsiString location; // the frame's own address
    AnsiString text;     // its body text, as bodyText() reads the page's
    std::vector<AnsiString> links;
};

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
    // Whether the page's frames are read with it, from the next navigation
    // on (off at first; a browser that cannot read frames ignores it).
    virtual void setReadFrames(bool on) { (void)on; }
    // Whether a page whose scripts may still draw after its load is read as
    // soon as they have nothing left to do, rather than at the end of the
    // settle (off at first; a browser without a settle ignores it).
    virtual void setSettleWhenIdle(bool on) { (void)on; }
    // The frames read with the document, in document order; none unless on.
    virtual std::vector<FrameDocument> frames() { return {}; }
    // Pictures read as text: from the next navigation on, a picture that
    // stands where a number would after one of `markers` (pictureMayBeNumber)
    // is read, and its text takes its place in the page's text. Empty: off
    // (at first; a browser that cannot read pictures ignores it).
    virtual void setPictureMarkers(const std::vector<AnsiString>& markers) { (void)markers; }
    // The lines of the page's text that hold a picture's reading.
    virtual std::vector<AnsiString> pictureLines() { return {}; }
    // The user agent the pages send from the next navigation on (UTF-8);
    // empty: the browser's own.
    virtual void setUserAgent(const std::string& userAgent) { (void)userAgent; }
    // The latest navigation failed at the proxy: it refused, could not be
    // reached, or would not connect to the site.
    virtual bool proxyFailed() { return false; }

    // The outcome of the latest navigate(). A browser that cannot tell says
    // Succeeded.
    virtual LoadResult loadResult() { return LoadResult::Succeeded; }
    // The HTTP status of the latest navigation's answer: 200 for a document
    // that arrived over HTTP, the error status of a 4xx or 5xx answer, 0 when
    // no HTTP answer came (refused, reset, unreachable, still loading) or the
    // browser cannot tell.
    virtual int httpStatus() { return 0; }
    // Whether the latest navigation's server has answered at all (its
    // document has begun to arrive, or the load has ended). A browser that
    // cannot tell says true.
    virtual bool answered() { return true; }
    // The page is being recycled: a browser that keeps state between pages may
    // start afresh before the next navigate(). Nothing by default.
    virtual void recycle() {}

    // Events: NavigateComplete2 and DocumentComplete, each with the object of the
    // window or frame concerned and its address (which the search ignores).
    std::function<void(FrameId, const AnsiString&)> onNavigateComplete2;
    std::function<void(FrameId, const AnsiString&)> onDocumentComplete;
    // The process rendering the page died: nothing more will complete.
    std::function<void()> onRendererGone;
};

} // namespace vq
