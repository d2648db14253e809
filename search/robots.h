// robots.txt (RFC 9309): the rules a site gives crawlers, and the crawl's
// policy of obeying them, one robots.txt per origin, fetched once per crawl
// through a port.
#pragma once

#include "text/ansi.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// The group of a robots.txt that applies to one product token.
struct RobotsRules {
    struct Rule {
        std::string pattern; // "/private", "/*.pdf$"
        bool allow = false;
    };
    std::vector<Rule> rules;
    double crawlDelaySeconds = 0; // "Crawl-delay" (beyond the standard, widely given)

    // Whether a path (with its query) may be visited: the longest matching
    // rule decides, "Allow" over "Disallow" when they are as long; no rule:
    // allowed. "/robots.txt" is always allowed.
    bool allows(std::string_view pathAndQuery) const;
};

// The groups of `text` for `productToken` (compared without regard to case),
// merged; without one, the "*" groups. An empty token takes the "*" groups.
RobotsRules parseRobots(std::string_view text, std::string_view productToken);

// The product token of a user agent: "VelqorBot/2.0 (+http://...)" gives
// "VelqorBot"; an empty agent (the browser's own) gives none.
std::string productTokenOf(std::string_view userAgent);

// Fetches an origin's robots.txt: `done` gets the HTTP status (0 when no
// answer came in time) and the body. Qt implements it; tests use a fake.
class RobotsFetcher {
public:
    virtual ~RobotsFetcher() = default;
    // `userAgent` empty: the fetcher's own.
    virtual void fetch(const std::string& robotsUrl, const std::string& userAgent,
                       std::function<void(int status, std::string body)> done) = 0;
};

// The robots.txt of every origin a crawl visits, each fetched once. One that
// cannot be had (no answer, 4xx, 5xx) allows everything, as the convention
// says.
class RobotsPolicy {
public:
    // The groups for the product token of `userAgent` apply, and the files
    // are fetched with it.
    RobotsPolicy(RobotsFetcher& fetcher, std::string userAgent)
        : fetcher_(fetcher), userAgent_(std::move(userAgent)), token_(productTokenOf(userAgent_))
    {
    }

    enum class Verdict { Allowed, Disallowed, Unknown };
    // Unknown: its origin's robots.txt is on its way (asked for now if need be).
    Verdict check(const AnsiString& url);
    // The verdict when the origin's robots.txt is known, else Unknown; asks for nothing.
    Verdict known(const AnsiString& url) const;
    // The origin's Crawl-delay in ms (0: none, or not known yet).
    int crawlDelayMs(const AnsiString& url) const;

private:
    struct Origin {
        bool arrived = false;
        RobotsRules rules;
    };
    RobotsFetcher& fetcher_;
    std::string userAgent_;
    std::string token_;
    std::map<std::string, Origin> origins_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // a fetch outliving the policy finds it gone
};

} // namespace vq
