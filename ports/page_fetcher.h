// A page's bytes over plain HTTP, without a browser: the fast reading's way
// to a page. The Qt Network version lives in app/; tests use a fake.
#pragma once

#include <functional>
#include <string>

namespace vq {

struct FetchedPage {
    enum class Ending {
        Answered, // an HTTP answer came whole (any status)
        Failed,   // no answer: refused, reset, unreachable, or a body too big or cut off
        TimedOut, // no answer within the bound
    };
    Ending ending = Ending::Failed;
    int httpStatus = 0;
    std::string finalUrl;    // after redirects (UTF-8)
    std::string contentType; // the answer's Content-Type
    std::string body;
};

class PageFetcher {
public:
    virtual ~PageFetcher() = default;
    // Fetches the address (UTF-8), following redirects, within `timeoutMs`;
    // `done` is called once, later, unless cancel() comes first. A fetch
    // started while another runs cancels that one.
    virtual void fetch(const std::string& url, int timeoutMs, std::function<void(FetchedPage)> done) = 0;
    virtual void cancel() = 0;
    // The user agent of later fetches (UTF-8); empty: the fetcher's own.
    virtual void setUserAgent(const std::string& userAgent) = 0;
};

} // namespace vq
