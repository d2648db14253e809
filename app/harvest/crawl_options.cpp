#include "app/harvest/crawl_options.h"

#include "app/harvest/cli_args.h"

#include <cstdlib>

namespace vq::cli {

const char* const kCrawlHelp =
    "usage: vqharvest crawl LIST [options]\n"
    "\n"
    "Visits every line of LIST (one address per line, code page 936) in a headless\n"
    "browser and harvests fax numbers and links, exactly as the window's search does.\n"
    "Writes \"autosave&web.txt\", \"autosave&fax.txt\" and \"vqdornavik.ini\" into DIR\n"
    "(every five minutes and at the end). Ctrl-C or SIGTERM stops at once and saves\n"
    "(exit 130 or 143); --from resumes. Only http and https addresses are visited.\n"
    "A page that declares no charset is read as UTF-8 when its bytes are UTF-8.\n"
    "\n"
    "options:\n"
    "  --speed S          seconds per page, 1..60 (default 8); 0: no pace, each page is\n"
    "                     scanned as soon as it is complete\n"
    "  --page-timeout T   with --speed 0: seconds a page may take (default 30)\n"
    "  --links            harvest links          (\"搜索链接\")\n"
    "  --fax              harvest fax numbers    (\"搜索传真\")\n"
    "                     (neither given: both)\n"
    "  --dedup            skip fax numbers already found (\"去重\")\n"
    "  --filter           apply --contains/--excludes to links (\"启用链接筛选\")\n"
    "  --site             only links of the page's own site (\"只搜索本站\")\n"
    "  --https            take https:// links as well (\"含https链接\"); a --contains\n"
    "                     text that starts with http:// then stands for both schemes\n"
    "  --frames           read the text and links of the page's frames and iframes too,\n"
    "                     to any depth, after the page's own (\"含框架页\")\n"
    "  --fast             read a page from its HTML over plain HTTP, without the browser,\n"
    "                     on a site whose first pages read the same both ways (a sample\n"
    "                     of later ones is still checked; one difference and the site\n"
    "                     goes back to the browser); pages with frames, scripts in the\n"
    "                     page or an undecided charset always go to the browser (\"快速读取\")\n"
    "  --user-agent TEXT  the user agent the pages send (default: the browser's own);\n"
    "                     its product token (\"VelqorBot\" of \"VelqorBot/2.0 ...\") picks\n"
    "                     the robots.txt group\n"
    "  --robots obey|ignore  obey each site's robots.txt (default: obey with --depth 1\n"
    "                     or more, ignore for a list, whose pages you chose); a line it\n"
    "                     forbids ends as \"robots\", never fetched\n"
    "  --proxy URL        every request through this proxy: http://, https:// or\n"
    "                     socks5://[USER:PASSWORD@]HOST:PORT (default: the environment's\n"
    "                     http_proxy / https_proxy, no_proxy going around them); five\n"
    "                     lines in a row failing at the proxy stop the crawl (exit 1)\n"
    "  --ocr              read a number drawn as a picture after a fax marker word\n"
    "                     (\"识别图片号码\"; Tesseract)\n"
    "  --contains TEXT    a link must contain TEXT (repeatable; default \"http://\" and \".\")\n"
    "  --excludes TEXT    a link must not contain TEXT (repeatable; default \"$\" and \"#\")\n"
    "  --markers FILE     fax marker words, one per line (default \"传真：\", \"FAX：\", \"传真号：\")\n"
    "  --from N           resume: skip the first N lines (N as printed when the crawl stopped);\n"
    "                     the results already in DIR are kept and added to\n"
    "  --out DIR          where results and state go (default: the current directory)\n"
    "  --report FILE      one JSON object per line of the list: line, url, final URL,\n"
    "                     outcome, ms, fax numbers and links found (on a frontier: depth\n"
    "                     and referrer too)\n"
    "  --lanes N          pages loaded at once, 1..64 (default 1); results stay in list order\n"
    "  --per-host K       with lanes: at most K pages of one host at once (default 2)\n"
    "  --host-delay S     at least S seconds between two visits to one host (default 0)\n"
    "  --recycle M        a lane's page is made afresh after M pages (default 100; 0: never)\n"
    "  --max-page-mb MB   a page whose renderer grows beyond MB megabytes is ended\n"
    "                     (default 1024; 0: no cap)\n"
    "  --retries N        a line that timed out or failed without an HTTP answer is tried\n"
    "                     up to N more times, after 1 s, 2 s, ... (default 2; 404 and 500 are final)\n"
    "  --retry-timeout T  with --speed 0: seconds a retry of a line that timed out may take\n"
    "                     (default: a third of --page-timeout, at least 5)\n"
    "  --renderers R      pages share at most R render processes (default: one for every\n"
    "                     4 lanes; 0: one per site); a page lost with a shared process\n"
    "                     that another page ended or crashed is tried again at once\n"
    "  --settle MS        a page with scripts is read MS milliseconds after its load event,\n"
    "                     so that what they draw late is read too (default 1200; 0: at once)\n"
    "  --settle-idle      end that wait as soon as the page's scripts have nothing left to\n"
    "                     do: no timer due before its end, no request or added script\n"
    "                     pending, nothing changed for a moment; a page with frames, sockets,\n"
    "                     workers or timers of code text still waits it out (\"空闲即读\")\n"
    "  --images           load images, fonts and media too (by default pages load only\n"
    "                     what the harvest reads: the document, its stylesheets and scripts)\n"
    "  --shard K/N        visit only the lines L with (L - 1) mod N = K - 1 (several machines);\n"
    "                     with --depth, only the seeds whose site hashes to shard K\n"
    "  --depth D          follow links D clicks deep from the lines of LIST (default 0: the\n"
    "                     list only); the crawl keeps its frontier in DIR/vqfrontier.db\n"
    "  --follow site|all  with --depth: follow links of the page's own site only (default)\n"
    "                     or of any site\n"
    "  --max-per-site M   with --depth: at most M pages of one site (default 1000)\n"
    "  --frontier         a crawl without --depth on the frontier database too: results go\n"
    "                     to disk as pages are done, so memory stays flat on long lists\n"
    "  --resume           go on with the frontier in DIR after a stop or a crash\n"
    "  --fresh            start afresh even over a file vqfrontier.db that is not a\n"
    "                     frontier or is damaged\n"
    "  --no-net-check     skip the connectivity test (pages on this machine)\n"
    "  --quiet            no progress line\n";



namespace {

int32_t boundedInteger(const std::string& name, const std::string& text, int32_t low, int32_t high)
{
    const int32_t v = integerArgument(name, text);
    if (v < low || v > high)
        throw UsageError(name + " must be between " + std::to_string(low) + " and " + std::to_string(high));
    return v;
}

void parseShard(const std::string& text, CrawlOptions& o)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        throw UsageError("--shard must be K/N, not '" + text + "'");
    const int32_t n = boundedInteger("--shard N", text.substr(slash + 1), 1, 1000000);
    const int32_t k = boundedInteger("--shard K", text.substr(0, slash), 1, n);
    o.shardIndex = k - 1;
    o.shardCount = n;
}

// The combinations that make no sense are refused before anything is touched.
void checkFrontierOptions(const CrawlOptions& o)
{
    const bool following = o.depth.value_or(0) > 0;
    if ((o.followGiven || o.maxPerSiteGiven) && !following)
        throw UsageError("--follow and --max-per-site need --depth 1 or more");
    if ((o.resume || o.fresh) && !o.onFrontier())
        throw UsageError("--resume and --fresh need --depth or --frontier (a list crawl resumes with --from)");
    if (o.resume && o.fresh)
        throw UsageError("--resume and --fresh exclude each other");
    if (o.from && o.onFrontier())
        throw UsageError("--from is for a list crawl; a crawl on the frontier resumes with --resume");
    if (following && o.follow == Follow::All && o.shardCount > 1)
        throw UsageError("--shard cannot split a crawl with --follow all (a site could be crawled by "
                         "several shards); use --follow site");
}

} // namespace

CrawlOptions parseCrawl(const std::vector<std::string>& args)
{
    CrawlOptions o;
    bool haveContains = false, haveExcludes = false, haveMarkers = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--speed") {
            o.speed = boundedInteger("--speed", optionValue(args, i), 0, kMaxSpeed);
            o.noPace = o.speed == 0;
        } else if (a == "--page-timeout") {
            o.pageTimeout = boundedInteger("--page-timeout", optionValue(args, i), 1, 3600);
        } else if (a == "--links") o.links = true;
        else if (a == "--fax") o.fax = true;
        else if (a == "--dedup") o.dedup = true;
        else if (a == "--filter") o.filter = true;
        else if (a == "--site") o.site = true;
        else if (a == "--https") o.https = true;
        else if (a == "--frames") o.frames = true;
        else if (a == "--ocr") o.ocr = true;
        else if (a == "--fast") o.fast = true;
        else if (a == "--settle-idle") o.settleIdle = true;
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
        } else if (a == "--report") {
            o.report = optionValue(args, i);
        } else if (a == "--user-agent") {
            o.userAgent = optionValue(args, i);
        } else if (a == "--proxy") {
            o.proxy = optionValue(args, i);
        } else if (a == "--robots") {
            const std::string v = optionValue(args, i);
            if (v != "obey" && v != "ignore")
                throw UsageError("--robots takes obey or ignore, not " + v);
            o.robots = v == "obey" ? RobotsRule::Obey : RobotsRule::Ignore;
        } else if (a == "--lanes") {
            o.lanes = boundedInteger("--lanes", optionValue(args, i), 1, 64);
        } else if (a == "--per-host") {
            o.perHost = boundedInteger("--per-host", optionValue(args, i), 1, 32);
        } else if (a == "--host-delay") {
            const std::string v = optionValue(args, i);
            char* end = nullptr;
            o.hostDelay = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(o.hostDelay >= 0) || o.hostDelay > 3600)
                throw UsageError("--host-delay must be seconds between 0 and 3600, not '" + v + "'");
        } else if (a == "--recycle") {
            o.recycle = boundedInteger("--recycle", optionValue(args, i), 0, 1000000);
        } else if (a == "--max-page-mb") {
            o.maxPageMb = boundedInteger("--max-page-mb", optionValue(args, i), 0, 1000000);
        } else if (a == "--retries") {
            o.retries = boundedInteger("--retries", optionValue(args, i), 0, 10);
        } else if (a == "--retry-timeout") {
            o.retryTimeout = boundedInteger("--retry-timeout", optionValue(args, i), 1, 3600);
        } else if (a == "--renderers") {
            o.renderers = boundedInteger("--renderers", optionValue(args, i), 0, 64);
        } else if (a == "--settle") {
            o.settleMs = boundedInteger("--settle", optionValue(args, i), 0, 10000);
        } else if (a == "--images") {
            o.images = true;
        } else if (a == "--shard") {
            parseShard(optionValue(args, i), o);
        } else if (a == "--depth") {
            o.depth = boundedInteger("--depth", optionValue(args, i), 0, 1000);
        } else if (a == "--follow") {
            const std::string v = optionValue(args, i);
            if (v != "site" && v != "all")
                throw UsageError("--follow must be site or all, not '" + v + "'");
            o.follow = v == "all" ? Follow::All : Follow::Site;
            o.followGiven = true;
        } else if (a == "--max-per-site") {
            o.maxPerSite = boundedInteger("--max-per-site", optionValue(args, i), 1, 1000000000);
            o.maxPerSiteGiven = true;
        } else if (a == "--frontier") o.frontier = true;
        else if (a == "--resume") o.resume = true;
        else if (a == "--fresh") o.fresh = true;
        else if (a == "--no-net-check") o.netCheck = false;
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
    checkFrontierOptions(o);
    return o;
}

} // namespace vq::cli
