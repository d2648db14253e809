// Throughput of fax extraction on page text, and the cost of the duplicate
// test as the fax list grows.
//
//   BM_ExtractFaxNumbers      100 MB of mixed Chinese/ASCII page text through
//                             the browser read, the line split and every line.
//   BM_ExtractFromText        the same without the browser read.
//   BM_ExtractReference       10 MB, every line through the step-by-step
//                             computation, for comparison.
//   BM_DedupNewNumbers/N      a page of 10,000 new numbers added to a fax list
//                             that already holds N numbers, dedup on.
//   BM_DedupLinearScan/N      for contrast, the same test as a scan of the list.
#include "search/fax_extractor.h"
#include "search/search_results.h"
#include "text/ansi.h"
#include "text/text_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- minimal ports ------------------------------------------------------------

class TextBrowser : public vq::Browser {
public:
    explicit TextBrowser(const std::string& text) : text_(text) {}
    void navigate(const vq::AnsiString&) override {}
    bool hasDocument() override { return true; }
    vq::AnsiString locationUrl() override { return "http://bench.example/"; }
    int linkCount() override { return 0; }
    vq::AnsiString link(int) override { return {}; }
    vq::AnsiString bodyText() override { return text_; }

private:
    const std::string& text_;
};

// The initial marker list.
std::vector<vq::AnsiString> initialMarkers()
{
    return {vq::utf8ToAnsi("传真："), vq::utf8ToAnsi("FAX："), vq::utf8ToAnsi("传真号：")};
}

// A page's numbers into the fax list, as a search adds them (dedup on).
void addPage(vq::SearchResults& results, const std::vector<vq::AnsiString>& numbers)
{
    for (const vq::AnsiString& n : numbers)
        results.addFax(n, {}, true);
}

// ---- page text ----------------------------------------------------------------

// The 500 or so most common Chinese characters, in code page 936.
const std::string& commonCharacters()
{
    static const std::string chars = vq::utf8ToAnsi(
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产"
        "种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业"
        "本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利"
        "比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文"
        "总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干"
        "做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共"
        "权收证改清美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信"
        "马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连"
        "断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存"
        "候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严龙飞");
    return chars;
}

// Deterministic page text of about `size` bytes: paragraphs of Chinese with
// ASCII words, addresses and dates mixed in, lines ended by CR LF (some by LF),
// and now and then a contact line with a telephone and a fax number.
std::string pageText(size_t size, uint32_t seed = 936)
{
    std::mt19937 rng(seed);
    const std::string& chars = commonCharacters();
    const size_t charCount = chars.size() / 2;
    const std::vector<std::string> words = {
        "the", "of", "and", "for", "from", "office", "products", "quality", "service", "email", "Tel", "Fax",
        "http://www.example.com.cn/", "www.abc.com", "2026-12-08", "ISO9001", "CO.,LTD", "No.88", "(86)", "|",
    };
    const std::vector<std::string> contactForms = {
        vq::utf8ToAnsi("电话：0519-8%07d  传真：0519-8%07d"),
        vq::utf8ToAnsi("联系电话: 021-6%07d 传真号码：021-6%07d"),
        "Tel: +86-10-6%07d  Fax: +86-10-6%07d",
        vq::utf8ToAnsi("TEL：0755-2%07d　FAX：0755-2%07d"),
        vq::utf8ToAnsi("地址：江苏省常州市　邮编：213000　传 真：(0519)8%07d 电话8%07d"),
    };

    std::string out;
    out.reserve(size + 256);
    char buf[160];
    while (out.size() < size) {
        const unsigned kind = rng() % 40;
        if (kind == 0) {
            const std::string& form = contactForms[rng() % contactForms.size()];
            std::snprintf(buf, sizeof buf, form.c_str(), int(rng() % 10000000), int(rng() % 10000000));
            out += buf;
        } else if (kind < 8) {
            // A line of ASCII words.
            for (unsigned k = 4 + rng() % 12; k > 0; --k) {
                out += words[rng() % words.size()];
                out += ' ';
            }
        } else {
            // A Chinese sentence with an ASCII word or a number now and then.
            for (unsigned k = 10 + rng() % 60; k > 0; --k) {
                const unsigned r = rng() % 30;
                if (r == 0) {
                    out += words[rng() % words.size()];
                } else if (r == 1) {
                    out += std::to_string(rng() % 100000);
                } else if (r == 2) {
                    out += "\xA3\xAC"; // ，
                } else {
                    const size_t c = rng() % charCount;
                    out.append(chars, c * 2, 2);
                }
            }
            out += "\xA1\xA3"; // 。
        }
        out += (rng() % 8 == 0) ? "\n" : "\r\n";
    }
    return out;
}

const std::string& hundredMegabytes()
{
    static const std::string text = pageText(100u << 20);
    return text;
}

// ---- benchmarks ---------------------------------------------------------------

// 100 MB of page text into the fax list, read from a browser or from the text.
void extractHundredMegabytes(benchmark::State& state, bool throughBrowser)
{
    const std::string& text = hundredMegabytes();
    TextBrowser browser(text);
    const vq::FaxLineScanner scan(initialMarkers());
    vq::SearchResults results;
    for (auto _ : state) {
        state.PauseTiming();
        results.fax.clear();
        state.ResumeTiming();
        std::vector<vq::AnsiString> numbers;
        if (throughBrowser)
            vq::ExtractFaxNumbers(browser, scan, numbers);
        else
            vq::faxNumbersInText(text, scan, numbers);
        addPage(results, numbers);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["numbers"] = double(results.fax.size());
}

void BM_ExtractFaxNumbers(benchmark::State& state) { extractHundredMegabytes(state, true); }
BENCHMARK(BM_ExtractFaxNumbers)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExtractFromText(benchmark::State& state) { extractHundredMegabytes(state, false); }
BENCHMARK(BM_ExtractFromText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExtractReference(benchmark::State& state)
{
    const std::string text = hundredMegabytes().substr(0, 10u << 20);
    const std::vector<vq::AnsiString> markers = initialMarkers();
    size_t numbers = 0;
    for (auto _ : state) {
        numbers = 0;
        for (const vq::AnsiString& line : vq::splitList(text))
            numbers += vq::faxNumberFromLineReference(line, markers).has_value();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["numbers"] = double(numbers);
}
BENCHMARK(BM_ExtractReference)->Unit(benchmark::kMillisecond)->Iterations(2);

// 10,000 new numbers on one page, added to a list of N numbers; the reported
// time per number should not grow with N.
void BM_DedupNewNumbers(benchmark::State& state)
{
    const size_t already = size_t(state.range(0));
    const size_t fresh = 10000;
    std::string page;
    for (size_t i = 0; i < fresh; ++i)
        page += vq::utf8ToAnsi("传真：021-5") + std::to_string(10000000 + i) + "\r\n";

    const vq::FaxLineScanner scan(initialMarkers());
    vq::SearchResults results;
    vq::ResultList& fax = results.fax;
    for (auto _ : state) {
        state.PauseTiming();
        fax.clear();
        for (size_t i = 0; i < already; ++i)
            fax.append("0519-8" + std::to_string(1000000 + i));
        state.ResumeTiming();
        std::vector<vq::AnsiString> numbers;
        vq::faxNumbersInText(page, scan, numbers);
        addPage(results, numbers);
    }
    if (fax.size() != already + fresh)
        state.SkipWithError("numbers were lost");
    state.counters["per_number"] =
        benchmark::Counter(double(fresh), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DedupNewNumbers)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(20);

// For contrast: the duplicate test as a scan of every caption from the first,
// 1,000 new numbers added to a list of N.
void BM_DedupLinearScan(benchmark::State& state)
{
    const size_t already = size_t(state.range(0));
    const size_t fresh = 1000;
    std::vector<std::string> numbers;
    for (size_t i = 0; i < fresh; ++i)
        numbers.push_back("021-5" + std::to_string(10000000 + i));

    vq::ResultList fax;
    for (auto _ : state) {
        state.PauseTiming();
        fax.clear();
        for (size_t i = 0; i < already; ++i)
            fax.append("0519-8" + std::to_string(1000000 + i));
        state.ResumeTiming();
        for (const std::string& number : numbers) {
            if (std::find(fax.items().begin(), fax.items().end(), number) == fax.items().end())
                fax.append(number);
        }
    }
    state.counters["per_number"] =
        benchmark::Counter(double(fresh), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DedupLinearScan)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
