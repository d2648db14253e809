#include "search/html_reading.h"

namespace vq {

const char* refusalName(HtmlRefusal refusal)
{
    switch (refusal) {
    case HtmlRefusal::None: return "none";
    case HtmlRefusal::Charset: return "charset";
    case HtmlRefusal::Parser: return "parser";
    case HtmlRefusal::Frames: return "frames";
    case HtmlRefusal::Script: return "script";
    case HtmlRefusal::Refresh: return "refresh";
    case HtmlRefusal::Layout: return "layout";
    case HtmlRefusal::Link: return "link";
    case HtmlRefusal::Pictures: return "pictures";
    }
    return "none";
}

} // namespace vq
