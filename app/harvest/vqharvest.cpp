// vqharvest: the harvesting engine without a window, for scripts.
//
//   vqharvest crawl LIST [options]     visit the pages of LIST, as "搜索" does
//   vqharvest extract [options] [FILE...]   fax numbers in page text
//   vqharvest merge OUT IN...          the "整理" tool
//   vqharvest urls PREFIX FIRST LAST SUFFIX [--step K]   a numbered URL list
//
// Exit codes: 0 success, 1 runtime error, 2 usage error.
#include "app/engine.h"
#include "app/harvest/cli_view.h"
#include "app/qt_timer.h"
#include "app/web_browser.h"
#include "search/host_lookup.h"
#include "state/search_state.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/text_file.h"
#include "tools/merge.h"
#include "tools/url_generator.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWebEnginePage>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace vq;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRuntime = 1;
constexpr int kExitUsage = 2;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* const kMainHelp =
    "usage: vqharvest COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  crawl LIST [options]                  visit the pages listed in LIST and harvest them\n"
    "  extract [options] [FILE...]           print the fax numbers found in page text\n"
    "  merge OUT IN...                       merge text files into one sorted file without duplicates\n"
    "  urls PREFIX FIRST LAST SUFFIX [--step K]   print a numbered URL list\n"
    "\n"
    "'vqharvest COMMAND --help' describes each command.\n"
    "Exit codes: 0 success, 1 runtime error, 2 usage error.\n";

const char* const kCrawlHelp =
    "usage: vqharvest crawl LIST [options]\n"
    "\n"
    "Visits every line of LIST (one address per line, code page 936) in a headless\n"
    "browser and harvests fax numbers and links, exactly as the window's search does.\n"
    "Writes \"autosave&web.txt\", \"autosave&fax.txt\" and \"vqdornavik.ini\" into DIR\n"
    "(every five minutes and at the end). Ctrl-C stops cleanly; --from resumes.\n"
    "\n"
    "options:\n"
    "  --speed S          seconds per page, 1..60 (default 8)\n"
    "  --links            harvest links          (\"搜索链接\")\n"
    "  --fax              harvest fax numbers    (\"搜索传真\")\n"
    "                     (neither given: both)\n"
    "  --dedup            skip fax numbers already found (\"去重\")\n"
    "  --filter           apply --contains/--excludes to links (\"启用链接筛选\")\n"
    "  --site             only links of the page's own site (\"只搜索本站\")\n"
    "  --https            take https:// links as well (\"含https链接\"); a --contains\n"
    "                     text that starts with http:// then stands for both schemes\n"
    "  --contains TEXT    a link must contain TEXT (repeatable; default \"http://\" and \".\")\n"
    "  --excludes TEXT    a link must not contain TEXT (repeatable; default \"$\" and \"#\")\n"
    "  --markers FILE     fax marker words, one per line (default \"传真：\", \"FAX：\", \"传真号：\")\n"
    "  --from N           resume: skip the first N lines (N as shown in the progress line);\n"
    "                     the results already in DIR are kept and added to\n"
    "  --out DIR          where results and state go (default: the current directory)\n"
    "  --no-net-check     skip the connectivity test (pages on this machine)\n"
    "  --quiet            no progress line\n";

const char* const kExtractHelp =
    "usage: vqharvest extract [--markers FILE] [--dedup] [FILE...]\n"
    "\n"
    "Reads page text (code page 936) from each FILE, or from standard input when no\n"
    "FILE is given, and prints the fax numbers one per line, in the order and form\n"
    "the window's fax list would show them.\n"
    "\n"
    "options:\n"
    "  --markers FILE     fax marker words, one per line (default \"传真：\", \"FAX：\", \"传真号：\")\n"
    "  --dedup            print each number once\n";

const char* const kMergeHelp =
    "usage: vqharvest merge OUT IN...\n"
    "\n"
    "Merges the lines of every IN file into OUT: each line once (letter case ignored,\n"
    "the first one met is kept), sorted. OUT may be one of the inputs; it is written\n"
    "only after every input has been read.\n";

const char* const kUrlsHelp =
    "usage: vqharvest urls PREFIX FIRST LAST SUFFIX [--step K]\n"
    "\n"
    "Prints the lines PREFIX + K*v + SUFFIX for v = FIRST..LAST (K defaults to 1),\n"
    "each ended by CR LF, as the URL list generator writes them.\n";

// The initial marker and filter lines, in code page 936.
std::vector<AnsiString> defaultMarkers()
{
    return {utf8ToAnsi("传真："), utf8ToAnsi("FAX："), utf8ToAnsi("传真号：")};
}

bool wantsHelp(const std::vector<std::string>& args)
{
    for (const auto& a : args)
        if (a == "--help" || a == "-h")
            return true;
    return false;
}

// Takes the value of an option that needs one.
std::string optionValue(const std::vector<std::string>& args, size_t& i)
{
    if (i + 1 >= args.size())
        throw UsageError("option " + args[i] + " needs a value");
    return args[++i];
}

int32_t integerArgument(const std::string& name, const std::string& text)
{
    try {
        return strToInt(text);
    } catch (const EConvertError&) {
        throw UsageError(name + " must be an integer, not '" + text + "'");
    }
}

std::vector<AnsiString> loadMarkers(const std::string& file)
{
    if (!fs::exists(file))
        throw Exception("marker file not found: " + file);
    return loadList(file);
}

// Flushes standard output; a write that failed on the way (a full disk, a
// closed pipe) is an error, not a success.
int finishOutput()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vqharvest: error: cannot write the output: %s\n", std::strerror(errno));
        return kExitRuntime;
    }
    return kExitOk;
}

// A browser with no page: extraction reads text handed to it directly.
class NoBrowser : public Browser {
public:
    void navigate(const AnsiString&) override {}
    bool hasDocument() override { return false; }
    AnsiString locationUrl() override { return {}; }
    int linkCount() override { return 0; }
    AnsiString link(int) override { throw Exception("no page"); }
    AnsiString bodyText() override { return {}; }
};

// ---- extract ------------------------------------------------------------------
int runExtract(const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    cli::CliView view;
    view.setMemoLines(Memo::FaxMarkers, defaultMarkers());
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--markers")
            view.setMemoLines(Memo::FaxMarkers, loadMarkers(optionValue(args, i)));
        else if (a == "--dedup")
            view.setChecked(Switch::Dedup, true);
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
        else
            files.push_back(a);
    }

    NoBrowser browser;
    ResultList fax;
    SearchCounters counters;
    FaxExtractor extractor(browser, view, fax, counters);
    auto extractStream = [&](std::istream& in) {
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        extractor.extractFromText(text);
    };
    if (files.empty()) {
        extractStream(std::cin);
    } else {
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            if (!in)
                throw Exception("cannot read " + f + ": " + std::strerror(errno));
            extractStream(in);
        }
    }
    for (const auto& number : fax.items())
        std::printf("%s\n", number.c_str());
    return finishOutput();
}

// ---- merge ----------------------------------------------------------------------
int runMerge(const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kMergeHelp, stdout);
        return kExitOk;
    }
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
    if (args.size() < 2)
        throw UsageError("merge needs an output file and at least one input file");
    std::vector<fs::path> inputs(args.begin() + 1, args.end());
    for (const auto& in : inputs)
        if (!fs::exists(in))
            throw Exception("input file not found: " + in.string());
    mergeFiles(inputs, args[0], userCollationLocale());
    return kExitOk;
}

// ---- urls -------------------------------------------------------------------------
int runUrls(const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kUrlsHelp, stdout);
        return kExitOk;
    }
    std::vector<std::string> positional;
    std::string step = "1";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--step")
            step = optionValue(args, i);
        // FIRST and LAST may be negative and SUFFIX may start with a hyphen
        // ("thread-" 1 100 "-1-1.html"): only before PREFIX and after SUFFIX is
        // a hyphen an option.
        else if (args[i].size() > 1 && args[i][0] == '-' && (positional.empty() || positional.size() >= 4))
            throw UsageError("unknown option " + args[i]);
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != 4)
        throw UsageError("urls needs PREFIX FIRST LAST SUFFIX");
    OneCounterFields fields;
    fields.prefix = utf8ToAnsi(positional[0]);
    fields.first = positional[1];
    fields.last = positional[2];
    fields.suffix = utf8ToAnsi(positional[3]);
    fields.multiplier = step;
    integerArgument("FIRST", fields.first);
    integerArgument("LAST", fields.last);
    integerArgument("--step", fields.multiplier);
    std::string out;
    generateOneCounter(fields, [&](std::string_view line) {
        out.append(line);
        out.append("\r\n");
        if (out.size() >= (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    });
    std::fwrite(out.data(), 1, out.size(), stdout);
    return finishOutput();
}

// ---- crawl --------------------------------------------------------------------------
// WebEngine's start-up report and its warnings about the missing GPU are noise
// on a terminal; everything else goes through.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (context.category && std::strcmp(context.category, "qt.webenginecontext") == 0)
        return;
    if (message.startsWith(QLatin1String("WebEngineContext used before")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

int sigintPipe[2] = {-1, -1};
volatile sig_atomic_t sigintCount = 0;

void onSigint(int)
{
    sigintCount = sigintCount + 1;
    if (sigintCount > 1)
        _exit(130);
    const char c = 'x';
    [[maybe_unused]] ssize_t n = write(sigintPipe[1], &c, 1);
}

class AlwaysOnline : public HostLookup {
public:
    std::string localAddress() override { return {}; }
};

struct CrawlOptions {
    std::string list;
    int speed = 8;
    bool links = false, fax = false, dedup = false, filter = false, site = false, https = false;
    std::vector<AnsiString> contains, excludes, markers;
    std::optional<int32_t> from;
    std::string out = ".";
    bool netCheck = true;
    bool quiet = false;
};

CrawlOptions parseCrawl(const std::vector<std::string>& args)
{
    CrawlOptions o;
    bool haveContains = false, haveExcludes = false, haveMarkers = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--speed") {
            o.speed = integerArgument("--speed", optionValue(args, i));
            if (o.speed < 1 || o.speed > 60)
                throw UsageError("--speed must be between 1 and 60");
        } else if (a == "--links") o.links = true;
        else if (a == "--fax") o.fax = true;
        else if (a == "--dedup") o.dedup = true;
        else if (a == "--filter") o.filter = true;
        else if (a == "--site") o.site = true;
        else if (a == "--https") o.https = true;
        else if (a == "--contains") {
            if (!haveContains) o.contains.clear();
            haveContains = true;
            o.contains.push_back(utf8ToAnsi(optionValue(args, i)));
        } else if (a == "--excludes") {
            if (!haveExcludes) o.excludes.clear();
            haveExcludes = true;
            o.excludes.push_back(utf8ToAnsi(optionValue(args, i)));
        } else if (a == "--markers") {
            haveMarkers = true;
            o.markers = loadMarkers(optionValue(args, i));
        } else if (a == "--from") {
            o.from = integerArgument("--from", optionValue(args, i));
        } else if (a == "--out") {
            o.out = optionValue(args, i);
        } else if (a == "--no-net-check") o.netCheck = false;
        else if (a == "--quiet") o.quiet = true;
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
        else if (o.list.empty())
            o.list = a;
        else
            throw UsageError("crawl takes one LIST, not '" + a + "' as well");
    }
    if (o.list.empty())
        throw UsageError("crawl needs a LIST file");
    if (!o.links && !o.fax)
        o.links = o.fax = true;
    if (!haveContains)
        o.contains = {"http://", "."};
    if (!haveExcludes)
        o.excludes = {"$", "#"};
    if (!haveMarkers)
        o.markers = defaultMarkers();
    return o;
}

int runCrawl(int argc, char** argv, const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kCrawlHelp, stdout);
        return kExitOk;
    }
    const CrawlOptions o = parseCrawl(args);
    if (!fs::is_regular_file(o.list))
        throw Exception("URL list not found: " + o.list);
    std::error_code ec;
    fs::create_directories(o.out, ec);
    if (!fs::is_directory(o.out))
        throw Exception("cannot use output directory " + o.out);
    const fs::path outDir = fs::absolute(o.out);
    const AnsiString listPath = pathToAnsi(fs::absolute(o.list));

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false;js=false");
    qInstallMessageHandler(quietMessages);
    vq::prepareWebEngine();
    QApplication app(argc, argv);

    cli::CliView view;
    view.showProgress = !o.quiet;
    cli::CliPrompts prompts;
    prompts.beforeMessage = [&] { view.finishProgress(); };
    view.setChecked(Switch::Links, o.links);
    view.setChecked(Switch::Fax, o.fax);
    view.setChecked(Switch::Dedup, o.dedup);
    view.setChecked(Switch::LinkFilter, o.filter);
    view.setChecked(Switch::OnlySite, o.site);
    view.setChecked(Switch::Https, o.https);
    view.setChecked(Switch::Autosave, true);
    view.setSpeed(o.speed);
    view.setListPath(listPath);
    view.setMemoLines(Memo::FaxMarkers, o.markers);
    view.setMemoLines(Memo::MustContain, o.contains);
    view.setMemoLines(Memo::MustNotContain, o.excludes);

    int code = kExitOk;
    {
        // A quiet page on an off-the-record profile, owned by the adapter.
        WebEngineBrowser browser(static_cast<QWebEnginePage*>(nullptr));
        QtTimer timer1(8000), timer2(300000), timer3(300000);
        InterfaceHostLookup interfaces;
        AlwaysOnline online;
        HostLookup& host = o.netCheck ? static_cast<HostLookup&>(interfaces) : online;
        Engine engine({view, prompts, browser, host, timer1, timer2, timer3, outDir});

        bool ended = false;
        view.onSearchEnded = [&] {
            ended = true;
            QTimer::singleShot(0, &app, [&] { app.quit(); });
        };

        if (pipe2(sigintPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            throw Exception(std::string("pipe: ") + std::strerror(errno));
        QSocketNotifier notifier(sigintPipe[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
            char buf[16];
            while (read(sigintPipe[0], buf, sizeof buf) > 0) {
            }
            view.finishProgress();
            std::fprintf(stderr, "vqharvest: stopping after the current page (Ctrl-C again to quit at once)\n");
            guarded(prompts, [&] { engine.driver.N3Click(); });
        });
        struct sigaction sa {};
        sa.sa_handler = onSigint;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);

        UrlListSource::countLines(fs::absolute(o.list), engine.counters.urlTotal);
        const int failuresBefore = prompts.failures;
        if (o.from) {
            // Resuming goes through the state file, as "继续" does: the state
            // written here is what the resume reads back, and the resume takes
            // back the results the stopped crawl left in DIR.
            engine.counters.progressIndex = *o.from;
            writeSearchState(outDir, view, engine.counters);
            prompts.inputAnswer = intToStr(*o.from);
            guarded(prompts, [&] { engine.resume.N4Click(); });
        } else {
            guarded(prompts, [&] { engine.driver.N2Click(); });
        }
        const std::string status = view.panel(8);
        const bool running = status == "正在搜索..." || status == "继续搜索...";
        if (!ended && !running) {
            code = kExitRuntime; // refused: the reason is on stderr
        } else {
            if (!ended)
                app.exec();
            view.finishProgress();
            const int failuresDuringCrawl = prompts.failures - failuresBefore;
            // The results and the state, whatever the autosave timer last wrote.
            const int before = prompts.failures;
            guarded(prompts, [&] { engine.progress.Button2Click(); });
            if (prompts.failures != before)
                code = kExitRuntime;
            std::fprintf(stderr, "vqharvest: %d of %d lines done, %d links, %d fax numbers%s\n",
                         engine.counters.progressIndex, engine.counters.urlTotal, engine.counters.linkCount,
                         engine.counters.faxCount,
                         failuresDuringCrawl ? " (some pages reported errors)" : "");
            if (sigintCount > 0)
                std::fprintf(stderr, "vqharvest: stopped; resume with --from %d\n", engine.counters.progressIndex);
        }
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kMainHelp, stderr);
        return kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kMainHelp, stdout);
            return kExitOk;
        }
        if (command == "crawl")
            return runCrawl(argc, argv, args);
        if (command == "extract")
            return runExtract(args);
        if (command == "merge")
            return runMerge(args);
        if (command == "urls")
            return runUrls(args);
        throw UsageError("unknown command '" + command + "'");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vqharvest: %s\n(see 'vqharvest --help')\n", e.what());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqharvest: error: %s\n", e.what());
        return kExitRuntime;
    }
}
