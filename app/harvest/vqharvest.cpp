// vqharvest: the harvesting engine without a window, for scripts.
//
//   vqharvest crawl LIST [options]     visit the pages of LIST, as "搜索" does
//   vqharvest extract [options] [FILE...]   fax numbers in page text
//   vqharvest merge OUT IN...          the "整理" tool
//   vqharvest urls PREFIX FIRST LAST SUFFIX [--step K]   a numbered URL list
//
// Exit codes: 0 success, 1 runtime error, 2 usage error.
#include "search/fax_extractor.h"
#include "search/search_results.h"
#include "app/harvest/cli_args.h"
#include "app/harvest/crawl_command.h"
#include "app/version.h"
#include "text/ansi.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/text_file.h"
#include "tools/merge.h"
#include "tools/url_generator.h"


#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vq;
using namespace vq::cli;

namespace {

const char* const kMainHelp =
    "usage: vqharvest COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  crawl LIST [options]                  visit the pages listed in LIST and harvest them\n"
    "  extract [options] [FILE...]           print the fax numbers found in page text\n"
    "  merge OUT IN...                       merge text files into one sorted file without duplicates\n"
    "  urls PREFIX FIRST LAST SUFFIX [--step K]   print a numbered URL list\n"
    "\n"
    "'vqharvest COMMAND --help' describes each command; 'vqharvest --version' prints the version.\n"
    "Exit codes: 0 success, 1 runtime error, 2 usage error.\n";

const char* const kExtractHelp =
    "usage: vqharvest extract [--markers FILE] [--dedup] [--encoding E] [FILE...]\n"
    "\n"
    "Reads page text from each FILE, or from standard input when no FILE is given,\n"
    "and prints the fax numbers one per line, in the order and form the window's\n"
    "fax list would show them.\n"
    "\n"
    "options:\n"
    "  --markers FILE     fax marker words, one per line (default \"传真：\", \"FAX：\", \"传真号：\")\n"
    "  --dedup            print each number once\n"
    "  --encoding E       the page text's encoding: auto (default), gbk or utf-8;\n"
    "                     auto reads each input that is valid UTF-8 with non-ASCII\n"
    "                     characters as UTF-8, and any other as code page 936 (GBK)\n";

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
// ---- extract ------------------------------------------------------------------
enum class Encoding { Auto, Gbk, Utf8 };

Encoding encodingArgument(const std::string& text)
{
    if (text == "auto")
        return Encoding::Auto;
    if (text == "gbk")
        return Encoding::Gbk;
    if (text == "utf-8")
        return Encoding::Utf8;
    throw UsageError("--encoding must be auto, gbk or utf-8, not '" + text + "'");
}

// Page text as the extractor reads it: code page 936.
AnsiString pageTextToAnsi(std::string bytes, Encoding encoding, const std::string& source)
{
    if (encoding == Encoding::Gbk)
        return bytes;
    const ByteText kind = classifyBytes(bytes);
    if (kind == ByteText::NotUtf8) {
        if (encoding == Encoding::Utf8)
            throw Exception(source + " is not valid UTF-8");
        return bytes;
    }
    if (kind == ByteText::Ascii)
        return bytes;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.erase(0, 3);
    return utf8ToAnsi(bytes);
}

int runExtract(const std::vector<std::string>& args)
{
    if (wantsHelp(args)) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    std::vector<AnsiString> markers = defaultMarkers();
    bool dedup = false;
    std::vector<std::string> files;
    Encoding encoding = Encoding::Auto;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--encoding")
            encoding = encodingArgument(optionValue(args, i));
        else if (a == "--markers")
            markers = loadMarkers(optionValue(args, i));
        else if (a == "--dedup")
            dedup = true;
        else if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
        else
            files.push_back(a);
    }

    const FaxLineScanner scan(markers);
    SearchResults results;
    auto extractStream = [&](std::istream& in, const std::string& source) {
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<AnsiString> numbers;
        faxNumbersInText(pageTextToAnsi(std::move(text), encoding, source), scan, numbers);
        for (AnsiString& number : numbers)
            results.addFax(std::move(number), {}, dedup);
    };
    if (files.empty()) {
        extractStream(std::cin, "standard input");
    } else {
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            if (!in)
                throw Exception("cannot read " + f + ": " + std::strerror(errno));
            extractStream(in, f);
        }
    }
    for (const auto& number : results.fax.items())
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
        if (command == "--version") {
            std::fputs("vqharvest " VQ_VERSION "\n", stdout);
            return finishOutput();
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
        std::fprintf(stderr, "vqharvest: error: %s\n", describe(e).c_str());
        return kExitRuntime;
    }
}
