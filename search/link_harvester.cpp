#include "search/link_harvester.h"

#include "text/replace.h"

#include <unordered_set>

namespace vq {
namespace {

// The link with its ASCII letters in lower case, trail bytes of double-byte
// characters left alone (they may look like letters but belong to the character).
AnsiString foldLinkCase(std::string_view link)
{
    AnsiString out(link);
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (isLeadByte(c))
            ++i;
        else if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c | 0x20);
    }
    return out;
}

bool containsText(std::string_view link, std::string_view text)
{
    return findBytes(link, text) != std::string_view::npos; // an empty text is never found
}

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// A filter text as the user wrote it. With https links taken, a text that
// starts with "http://" names both schemes: the must-contain line "http://"
// then lets https links through, and "http://www.a.com/" also means
// "https://www.a.com/".
bool filterMatches(std::string_view link, std::string_view text, bool https)
{
    if (containsText(link, text))
        return true;
    if (!https || !text.starts_with(kHttp))
        return false;
    AnsiString secure(kHttps);
    secure.append(text.substr(kHttp.size()));
    return containsText(link, secure);
}

} // namespace

namespace {

// The links of one document (the page, or a frame) that pass the rules,
// each once per page.
template <class LinkAt>
void takeLinks(const AnsiString& location, int count, LinkAt linkAt, const LinkRules& rules,
               std::unordered_set<AnsiString>& pageLinks, std::vector<AnsiString>& out)
{
    if (location.empty())
        return;
    const AnsiString key = SiteKey(location);
    for (int i = 0; i < count; ++i) {
        AnsiString link = linkAt(i);

        bool pass = link.starts_with(kHttp) || (rules.https && link.starts_with(kHttps));
        if (rules.onlySite && !containsText(link, key))
            pass = false;
        if (rules.filter) {
            for (const AnsiString& text : rules.mustContain) {
                if (!filterMatches(link, text, rules.https))
                    pass = false;
            }
            for (const AnsiString& text : rules.mustNotContain) {
                if (filterMatches(link, text, rules.https))
                    pass = false;
            }
        }
        if (!pass)
            continue;

        if (!pageLinks.insert(foldLinkCase(link)).second)
            continue; // already taken from this page
        out.push_back(std::move(link));
    }
}

} // namespace

void HarvestLinks(Browser& browser, const LinkRules& rules, std::vector<AnsiString>& out)
{
    const AnsiString location = browser.locationUrl();
    if (location.empty())
        return;
    std::unordered_set<AnsiString> pageLinks; // links taken from this page, ASCII letters in lower case
    takeLinks(location, browser.linkCount(), [&](int i) { return browser.link(i); }, rules, pageLinks, out);
    for (const FrameDocument& frame : browser.frames())
        takeLinks(frame.location, static_cast<int>(frame.links.size()), [&](int i) { return frame.links[size_t(i)]; },
                  rules, pageLinks, out);
}

} // namespace vq
