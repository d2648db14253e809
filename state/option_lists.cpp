#include "state/option_lists.h"

#include "state/search_state.h"
#include "text/ansi.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/text_file.h"

#include <exception>

namespace vq {
namespace {

struct OptionListFile {
    OptionList list;
    const char* fileName;
};

// In load and save order.
constexpr OptionListFile kOptionLists[] = {
    {OptionList::FaxMarkers, "vqwebfaxset.ini"},
    {OptionList::MustContain, "vqweblinkok.ini"},
    {OptionList::MustNotContain, "vqweblinkno.ini"},
};

// Switches that are not part of the search state, each in a file of its own:
// one line, the yes-word or the no-word.
struct SwitchFile {
    Switch which;
    const char* fileName;
    const char* yes;
    const char* no;
};

constexpr SwitchFile kSwitchFiles[] = {
    {Switch::Https, "vqhttps.ini", "httpsyes", "httpsno"},
    {Switch::Frames, "vqframes.ini", "framesyes", "framesno"},
    {Switch::Ocr, "vqocr.ini", "ocryes", "ocrno"},
    {Switch::Fast, "vqfast.ini", "fastyes", "fastno"},
    {Switch::SettleIdle, "vqidle.ini", "idleyes", "idleno"},
};

// "同时打开" (pages at once), one line of integer text.
constexpr const char* kPagesAtOnceFile = "vqlanes.ini";

// The window's site crawl: "深度" (0..5) on the first line, "跟随" ("site" for
// "本站", "all" for "全部") on the second.
constexpr const char* kSiteCrawlFile = "vqsite.ini";
constexpr const char* kFollowSite = "site";
constexpr const char* kFollowAll = "all";

// How the window's pages show themselves: the user agent on the first line,
// the proxy on the second (both UTF-8; an empty line: the browser's own, the
// environment's), robots.txt on the third ("obey", "ignore"; empty: obeyed by
// a site crawl, not by the list crawl).
constexpr const char* kVisitorFile = "vqvisitor.ini";

void loadSiteCrawl(SearchSetup& setup, const std::vector<AnsiString>& lines)
{
    int depth = 0;
    try {
        depth = lines.empty() ? 0 : strToInt(lines.front());
    } catch (const EConvertError&) {
        // Not a number: no site crawl, as at the first start.
    }
    const Follow follow = lines.size() > 1 && lines[1] == kFollowAll ? Follow::All : Follow::Site;
    setup.setSiteCrawl(depth, follow);
}

} // namespace

void loadOptionLists(SearchSetup& setup, const std::filesystem::path& programDir)
{
    // Every file is tried: one unreadable file must not keep the others from
    // the setup. The first failure is reported once all have been tried. A
    // file that is not there leaves its setting as it is.
    std::exception_ptr firstError;
    const auto loadPresent = [&](const char* fileName, const auto& take) {
        const std::filesystem::path path = programDir / fileName;
        if (!fileExists(path))
            return;
        try {
            take(loadList(path));
        } catch (...) {
            if (!firstError)
                firstError = std::current_exception();
        }
    };
    for (const OptionListFile& list : kOptionLists)
        loadPresent(list.fileName, [&](std::vector<AnsiString> lines) { setup.setList(list.list, std::move(lines)); });
    for (const SwitchFile& file : kSwitchFiles)
        loadPresent(file.fileName, [&](const std::vector<AnsiString>& lines) {
            setup.setChecked(file.which, !lines.empty() && lines.front() == file.yes);
        });
    loadPresent(kPagesAtOnceFile, [&](const std::vector<AnsiString>& lines) {
        try {
            setup.setPagesAtOnce(lines.empty() ? 1 : strToInt(lines.front()));
        } catch (const EConvertError&) {
            // A value that is not a number leaves the initial one page at once.
        }
    });
    loadPresent(kVisitorFile, [&](const std::vector<AnsiString>& lines) {
        const AnsiString robots = lines.size() > 2 ? lines[2] : AnsiString();
        setup.setVisitor({lines.size() > 0 ? ansiToUtf8(lines[0]) : std::string(),
                          lines.size() > 1 ? ansiToUtf8(lines[1]) : std::string(),
                          robots == "obey"     ? RobotsRule::Obey
                          : robots == "ignore" ? RobotsRule::Ignore
                                               : RobotsRule::Default});
    });
    loadPresent(kSiteCrawlFile, [&](const std::vector<AnsiString>& lines) { loadSiteCrawl(setup, lines); });
    if (firstError)
        std::rethrow_exception(firstError);
}

void saveOptionLists(const SearchSetup& setup, const std::filesystem::path& programDir)
{
    for (const OptionListFile& list : kOptionLists) {
        try {
            saveList(programDir / list.fileName, setup.list(list.list));
        } catch (...) {
            // Ignored on purpose: the program is closing, and the next file is
            // still worth writing. The old file stays complete (atomic write).
        }
    }
    for (const SwitchFile& file : kSwitchFiles) {
        try {
            saveList(programDir / file.fileName, {setup.isChecked(file.which) ? file.yes : file.no});
        } catch (...) {
            // As above.
        }
    }
    try {
        saveList(programDir / kPagesAtOnceFile, {intToStr(setup.pagesAtOnce())});
    } catch (...) {
        // As above.
    }
    try {
        saveSiteCrawl(setup, programDir);
    } catch (...) {
        // As above.
    }
    // Written only once there is something to keep, so that a directory of
    // a program that never set them holds no file for them.
    if (!(setup.visitor() == VisitorOptions{}) || fileExists(programDir / kVisitorFile)) {
        try {
            const RobotsRule robots = setup.visitor().robots;
            saveList(programDir / kVisitorFile,
                     {utf8ToAnsi(setup.visitor().userAgent), utf8ToAnsi(setup.visitor().proxy),
                      robots == RobotsRule::Obey ? "obey" : robots == RobotsRule::Ignore ? "ignore" : ""});
        } catch (...) {
            // As above.
        }
    }
}

void saveSiteCrawl(const SearchSetup& setup, const std::filesystem::path& programDir)
{
    const FrontierOptions& f = setup.frontier();
    saveList(programDir / kSiteCrawlFile, {intToStr(f.depth), f.follow == Follow::All ? kFollowAll : kFollowSite});
}

} // namespace vq
