#include "search/robots.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vq {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether `pattern` ("*" any run of characters, a final "$" the end) matches
// the start of `path`.
bool matches(std::string_view pattern, std::string_view path)
{
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored)
        pattern.remove_suffix(1);
    // Greedy matching with backtracking over the last "*".
    size_t p = 0, s = 0, star = std::string_view::npos, mark = 0;
    while (true) {
        if (p == pattern.size()) {
            if (!anchored || s == path.size())
                return true;
        } else if (pattern[p] == '*') {
            star = p++;
            mark = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p, ++s;
            continue;
        }
        if (star == std::string_view::npos || mark >= path.size())
            return false;
        p = star + 1;
        s = ++mark;
    }
}

// "scheme://host[:port]" of an address, lower case; empty when it has none.
std::string originOf(std::string_view url)
{
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return {};
    const size_t end = url.find_first_of("/?#", scheme + 3);
    std::string origin(url.substr(0, end));
    for (char& c : origin)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return origin;
}

std::string pathOf(std::string_view url)
{
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string_view::npos ? std::string_view::npos : url.find_first_of("/?#", scheme + 3);
    if (start == std::string_view::npos)
        return "/";
    std::string path(url.substr(start, url.find('#', start) - start));
    if (path.empty() || path.front() != '/')
        path.insert(0, 1, '/');
    return path;
}

} // namespace

bool RobotsRules::allows(std::string_view path) const
{
    if (path == "/robots.txt")
        return true;
    size_t best = 0;
    bool allowed = true, any = false;
    for (const Rule& r : rules) {
        if (!matches(r.pattern, path))
            continue;
        const size_t length = r.pattern.size();
        if (!any || length > best || (length == best && r.allow)) {
            best = length;
            allowed = r.allow;
            any = true;
        }
    }
    return allowed;
}

std::string productTokenOf(std::string_view userAgent)
{
    userAgent = trim(userAgent);
    const size_t end = userAgent.find_first_of("/ ");
    return std::string(userAgent.substr(0, end));
}

RobotsRules parseRobots(std::string_view text, std::string_view token)
{
    RobotsRules mine, any;
    bool haveMine = false, haveAny = false;
    // The group being read: whether it is ours, or the "*" one.
    bool inMine = false, inAny = false, readingAgents = false;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (sameText(key, "user-agent")) {
            if (!readingAgents)
                inMine = inAny = false; // a new group begins
            readingAgents = true;
            const std::string agent = productTokenOf(value);
            if (value == "*") {
                inAny = true;
                haveAny = true;
            } else if (!token.empty() && sameText(agent, token)) {
                inMine = true;
                haveMine = true;
            }
            continue;
        }
        readingAgents = false;
        const bool allow = sameText(key, "allow");
        if (allow || sameText(key, "disallow")) {
            if (value.empty())
                continue; // "Disallow:" with nothing forbids nothing
            if (inMine)
                mine.rules.push_back({std::string(value), allow});
            if (inAny)
                any.rules.push_back({std::string(value), allow});
        } else if (sameText(key, "crawl-delay")) {
            const double seconds = std::atof(std::string(value).c_str());
            if (seconds > 0 && inMine)
                mine.crawlDelaySeconds = seconds;
            if (seconds > 0 && inAny)
                any.crawlDelaySeconds = seconds;
        }
    }
    return haveMine ? mine : haveAny ? any : RobotsRules{};
}

RobotsPolicy::Verdict RobotsPolicy::known(const AnsiString& url) const
{
    const auto it = origins_.find(originOf(url));
    if (it == origins_.end() || !it->second.arrived)
        return Verdict::Unknown;
    return it->second.rules.allows(pathOf(url)) ? Verdict::Allowed : Verdict::Disallowed;
}

RobotsPolicy::Verdict RobotsPolicy::check(const AnsiString& url)
{
    const std::string origin = originOf(url);
    if (origin.empty() || (!origin.starts_with("http://") && !origin.starts_with("https://")))
        return Verdict::Allowed; // not a page of the web: the crawl skips it anyway
    const auto [it, fresh] = origins_.try_emplace(origin);
    if (fresh) {
        const std::weak_ptr<int> alive = alive_;
        fetcher_.fetch(origin + "/robots.txt", userAgent_, [this, alive, origin](int status, std::string body) {
            if (alive.expired())
                return;
            Origin& o = origins_[origin];
            o.arrived = true;
            // 2xx: its rules; anything else, or no answer: everything allowed.
            if (status >= 200 && status < 300)
                o.rules = parseRobots(body, token_);
        });
    }
    return known(url);
}

int RobotsPolicy::crawlDelayMs(const AnsiString& url) const
{
    const auto it = origins_.find(originOf(url));
    if (it == origins_.end() || !it->second.arrived)
        return 0;
    return static_cast<int>(std::min(it->second.rules.crawlDelaySeconds, 60.0) * 1000);
}

} // namespace vq
