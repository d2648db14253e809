#include "app/harvest/crawl_output.h"

#include "app/os.h"
#include "state/pace.h"
#include "text/ansi.h"
#include "text/errors.h"
#include "text/paths.h"

#include <algorithm>
#include <cstdio>

namespace vq::cli {

namespace {

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

std::string reportLine(const PageRecord& r)
{
    std::string line = "{\"line\":" + std::to_string(r.line) + ",\"url\":" + jsonString(ansiToUtf8(r.address)) +
                       ",\"final\":" + jsonString(ansiToUtf8(r.finalUrl)) +
                       ",\"outcome\":" + jsonString(outcomeName(r.outcome)) + ",\"ms\":" + std::to_string(r.ms) +
                       ",\"fax\":[";
    for (size_t i = 0; i < r.fax.size(); ++i)
        line += (i ? "," : "") + jsonString(ansiToUtf8(r.fax[i]));
    line += "]";
    if (!r.ocr.empty()) {
        // The numbers of "fax" read from a picture.
        line += ",\"ocr\":[";
        for (size_t i = 0; i < r.ocr.size(); ++i)
            line += (i ? "," : "") + jsonString(ansiToUtf8(r.ocr[i]));
        line += "]";
    }
    line += ",\"links\":" + std::to_string(r.links) + ",\"attempts\":" + std::to_string(r.attempts);
    if (r.httpStatus > 0)
        line += ",\"status\":" + std::to_string(r.httpStatus);
    if (r.depth >= 0)
        line += ",\"depth\":" + std::to_string(r.depth) + ",\"referrer\":" + jsonString(ansiToUtf8(r.referrer));
    if (r.reading != PageReading::Browser || r.leftToBrowser) {
        // With --fast: which way the page was read, and why not from its HTML.
        static const char* const ways[] = {"browser", "fast", "checked", "differed"};
        line += ",\"read\":" + jsonString(ways[static_cast<int>(r.reading)]);
        if (r.leftToBrowser)
            line += ",\"why\":" + jsonString(r.leftToBrowser);
    }
    return line + "}";
}

CrawlReport::CrawlReport(const std::filesystem::path& path, bool append) : path_(path), log_(path, append)
{
}

void CrawlReport::write(const PageRecord& record)
{
    if (failed_)
        return;
    try {
        log_.writeLine(reportLine(record));
    } catch (const EInOutError&) {
        failed_ = true; // the crawl goes on; the end says the report is incomplete
    }
}

void CrawlReport::close()
{
    bool bad = failed_;
    try {
        log_.close();
    } catch (const EInOutError&) {
        bad = true;
    }
    if (bad)
        throw Exception(path_.string() + ": the report could not be written completely");
}

// ---- the crawl's output ----------------------------------------------------------

CrawlOutput::CrawlOutput(bool showProgress, std::unique_ptr<CrawlReport> report)
    : show_(showProgress), tty_(os::stderrIsTerminal()), report_(std::move(report))
{
}

void CrawlOutput::progress(const SearchProgress& p)
{
    if (show_ && p.line > 0)
        draw(p);
}

void CrawlOutput::pageDone(const PageRecord& record)
{
    ++pages_;
    ++byOutcome_[static_cast<size_t>(record.outcome)];
    if (record.attempts > 1 && record.outcome == PageOutcome::Scanned)
        ++doneOnRetry_;
    if (report_)
        report_->write(record);
}

void CrawlOutput::finished(const SearchFinish& f)
{
    if (f.how == SearchEnd::RenderFailures)
        message(renderFailuresText(f.renderFailures));
    if (f.how == SearchEnd::ProxyFailures)
        error("the proxy " + (proxy.empty() ? std::string("in use") : proxy) + " failed " +
              std::to_string(f.proxyFailures) + " lines in a row (refused, unreachable or no answer); stopped and saved");
    finished_ = f;
    if (onFinished)
        onFinished();
}

void CrawlOutput::stepFailed(const std::exception& e)
{
    // As the window's default handler words it, with the file in front.
    std::string text = withFullStop(e.what());
    if (const auto* io = dynamic_cast<const EInOutError*>(&e); io && !io->path().empty())
        text = pathToUtf8(io->path()) + ": " + text;
    error(text);
}

void CrawlOutput::error(const std::string& text)
{
    message("error: " + text);
}

void CrawlOutput::message(const std::string& text)
{
    endProgressLine();
    std::fprintf(stderr, "vqharvest: %s\n", text.c_str());
    std::fflush(stderr);
    ++errors_;
}

// A terminal gets one line redrawn; a log gets a line whenever it changes.
void CrawlOutput::draw(const SearchProgress& p)
{
    const auto now = std::chrono::steady_clock::now();
    if (firstLine_ < 0 || p.line < firstLine_) {
        firstLine_ = p.line;
        firstAt_ = now;
    }
    const int64_t elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - firstAt_).count();
    const std::string eta = clockText(secondsLeft(p.line - firstLine_, int64_t(p.total) - p.line, elapsedMs));
    const int width = 24;
    const int filled = p.total > 0 ? std::min<int>(width, int(int64_t(p.line) * width / p.total)) : 0;
    char rate[96];
    std::snprintf(rate, sizeof rate, "  done %d  lanes %zu/%zu  %.1f p/s", p.position, p.busyLanes, p.lanes,
                  p.pagesPerSecond);
    std::string text;
    if (p.frontier) {
        // A frontier grows as it goes: no bar and no ETA.
        std::snprintf(rate, sizeof rate, "  lanes %zu/%zu  %.1f p/s", p.busyLanes, p.lanes, p.pagesPerSecond);
        text = "frontier done " + std::to_string(p.position) + "  queued " + std::to_string(p.queued) +
               "  depth " + std::to_string(p.depthReached) + "  links " + std::to_string(p.links) + "  fax " +
               std::to_string(p.fax) + rate;
    } else {
        text = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] line " +
               std::to_string(p.line) + "/" + std::to_string(p.total) + "  links " + std::to_string(p.links) +
               "  fax " + std::to_string(p.fax) + "  ETA " + eta + rate;
    }
    // A log gets a line per line of the list, not one per page event.
    if (text == lastText_ || (!tty_ && p.line == lastDrawnLine_))
        return;
    lastText_ = text;
    lastDrawnLine_ = p.line;
    if (tty_)
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    drawn_ = tty_;
}

void CrawlOutput::endProgressLine()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

bool CrawlOutput::closeReport()
{
    if (!report_)
        return true;
    try {
        report_->close();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqharvest: error: %s\n", e.what());
        return false;
    }
}

void CrawlOutput::printSummary(const SearchProgress& last, bool pagesReportedErrors, bool saved) const
{
    const double s = secondsSince(started_);
    const auto count = [this](PageOutcome o) { return byOutcome_[static_cast<size_t>(o)]; };
    if (last.frontier)
        std::fprintf(stderr, "vqharvest: %d pages done, %lld queued, %d links, %d fax numbers%s\n", last.position,
                     static_cast<long long>(last.queued), last.links, last.fax,
                     pagesReportedErrors ? " (some pages reported errors)" : "");
    else if (saved)
        std::fprintf(stderr, "vqharvest: %d of %d lines done, %d links, %d fax numbers%s\n", last.position,
                     last.total, last.links, last.fax, pagesReportedErrors ? " (some pages reported errors)" : "");
    else
        std::fprintf(stderr, "vqharvest: %d of %d lines crawled, not saved: %d links, %d fax numbers%s\n",
                     last.position, last.total, last.links, last.fax,
                     pagesReportedErrors ? " (some pages reported errors)" : "");
    std::fprintf(stderr,
                 "vqharvest: %d pages, %.2f pages/s, %d scanned on a retry; failed: %d timeout, "
                 "%d navigation error, %d render failure, %d skipped scheme, %d not an address, %d robots\n",
                 pages_, s > 0 ? pages_ / s : 0.0, doneOnRetry_, count(PageOutcome::Timeout),
                 count(PageOutcome::NavigationError), count(PageOutcome::RenderFailure),
                 count(PageOutcome::SkippedScheme), count(PageOutcome::NotAnAddress), count(PageOutcome::Robots));
}

} // namespace vq::cli
