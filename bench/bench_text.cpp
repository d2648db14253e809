// Throughput of the text routines on the page path: case-insensitive
// replacement (run about twenty times on every line of page text) and the
// whole-list split of the page text.
#include "text/replace.h"
#include "text/text_file.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Page-like text: mostly Chinese, some ASCII words and numbers, a fax line now
// and then, lines ended by CR LF.
std::string pageText(size_t bytes)
{
    std::mt19937 rng(42);
    const char* words[] = {"http://www.example.com/", "Tel", "0519-88888888", "Email", "fax", "ABC", " ", "2024"};
    std::string out;
    out.reserve(bytes + 128);
    while (out.size() < bytes) {
        const int kind = rng() % 10;
        if (kind < 6) {
            for (int k = 0; k < 20; ++k) { // a run of common Chinese characters
                out += char(0xB0 + rng() % 0x48);
                out += char(0xA1 + rng() % 0x5E);
            }
        } else if (kind < 9) {
            out += words[rng() % std::size(words)];
        } else {
            out += "\xB4\xAB\xD5\xE6\xA3\xBA" "0519-88888888"; // 传真：
        }
        if (rng() % 3 == 0)
            out += "\r\n";
    }
    return out;
}

const std::vector<std::pair<std::string, std::string>>& markerRules()
{
    // The kind of normalisations run on every line: full-width forms, spaces
    // and case variants of the marker words.
    static const std::vector<std::pair<std::string, std::string>> rules = {
        {"\xA3\xBA", ":"},       {"\xA1\xA1", " "},     {"fax :", "fax:"}, {"fax: ", "fax:"},
        {"fax", "\xB4\xAB\xD5\xE6"}, {"tel", "TEL"},   {"\xA3\xA8", "("},  {"\xA3\xA9", ")"},
        {"\xA3\xAD", "-"},       {"\xA1\xAA", "-"},     {"  ", " "},       {"\xB4\xAB \xD5\xE6", "\xB4\xAB\xD5\xE6"},
        {"facsimile", "fax"},    {"f a x", "fax"},      {"\xA3\xB0", "0"}, {"\xA3\xB1", "1"},
        {"(0)", ""},             {"+86", "0"},          {"86-", "0"},      {"\t", " "},
    };
    return rules;
}

void BM_ReplaceNoMatch(benchmark::State& state)
{
    const std::string text = pageText(1 << 20);
    for (auto _ : state) {
        std::string s = text;
        vq::replaceAllIgnoreCase(s, "zqx:", "-");
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ReplaceNoMatch);

void BM_ReplaceManyMatches(benchmark::State& state)
{
    const std::string text = pageText(1 << 20);
    for (auto _ : state) {
        std::string s = text;
        vq::replaceAllIgnoreCase(s, "fax", "\xB4\xAB\xD5\xE6");
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ReplaceManyMatches);

// The page path: split into lines, then every rule on every line.
void BM_MarkerRulesPerLine(benchmark::State& state)
{
    const std::string text = pageText(1 << 20);
    const std::vector<std::string> lines = vq::splitList(text);
    for (auto _ : state) {
        for (const std::string& line : lines) {
            std::string s = line;
            for (const auto& [find, with] : markerRules())
                vq::replaceAllIgnoreCase(s, find, with);
            benchmark::DoNotOptimize(s);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_MarkerRulesPerLine);

// Worst case for the character-boundary check: pure Chinese text whose trail
// bytes keep matching the pattern itself.
void BM_ReplaceChineseCandidates(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < (1 << 19); ++i)
        text += "\xD5\xE6"; // 真真真...: "\xE6\xD5" stands at every trail byte, never at a boundary
    for (auto _ : state) {
        std::string s = text;
        vq::replaceAllIgnoreCase(s, "\xE6\xD5", "-");
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ReplaceChineseCandidates);

void BM_SplitList(benchmark::State& state)
{
    const std::string text = pageText(8 << 20);
    for (auto _ : state) {
        auto lines = vq::splitList(text);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SplitList);

} // namespace

BENCHMARK_MAIN();
