// The merge tool on five files of 200,000 lines each (about 60% distinct,
// URLs and Chinese text, some repeats in another letter case) and the URL list
// generator on 1,000,000 lines; where the frontier database is built in, one
// save of a frontier's result files after 1,000 new results, on a frontier
// holding 10,000 and 100,000 (appended, and written whole as a first save is).
//
//   bench_tools                        runs the benchmarks
//   bench_tools --write-merge-data=DIR writes the merge inputs to DIR (code page
//                                      936, in1.txt..in5.txt) with UTF-8 copies
//                                      (utf8-in1.txt..), for comparisons, and exits
#include "text/ansi.h"
#include "tools/merge.h"
#include "tools/url_generator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef VQ_BENCH_FRONTIER
#include "search/site_frontier.h"
#include "state/frontier_db.h"
#include "text/text_file.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 5;
constexpr int kLinesPerFile = 200000;
constexpr int kDistinct = 600000; // of the 1,000,000 lines

std::string randomCase(std::string s, std::mt19937& rng)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z' && rng() % 2)
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The 1,000,000 lines in code page 936, deterministic.
std::vector<std::string> makeLines()
{
    std::mt19937 rng(20240601);
    const char* words[] = {"传真", "电话", "公司", "有限", "责任", "科技", "北京", "上海", "常州", "深圳",
                           "机械", "电子", "贸易", "联系人", "地址", "邮编", "销售", "部门", "经理", "工厂"};
    std::vector<std::string> gbkWords;
    for (const char* w : words)
        gbkWords.push_back(vq::utf8ToAnsi(w));
    const char* paths[] = {"news", "bbs/thread", "forum", "product/list", "about", "contact", "info/detail"};
    const char* tlds[] = {".com", ".cn", ".com.cn", ".net", ".org"};

    std::vector<std::string> distinct;
    distinct.reserve(kDistinct);
    for (int i = 0; i < kDistinct; ++i) {
        std::string s;
        if (i % 10 < 7) {
            s = "http://www.site" + std::to_string(rng() % 50000) + tlds[rng() % 5] + "/" + paths[rng() % 7] +
                "/" + std::to_string(i) + ".html";
        } else {
            const int n = 2 + static_cast<int>(rng() % 4);
            for (int k = 0; k < n; ++k)
                s += gbkWords[rng() % gbkWords.size()];
            s += "0" + std::to_string(100 + rng() % 900) + "-" + std::to_string(10000000 + i);
        }
        distinct.push_back(std::move(s));
    }
    std::vector<std::string> lines = distinct;
    lines.reserve(size_t(kFiles) * kLinesPerFile);
    while (lines.size() < size_t(kFiles) * kLinesPerFile) {
        const std::string& d = distinct[rng() % distinct.size()];
        lines.push_back(rng() % 10 == 0 ? randomCase(d, rng) : d);
    }
    std::shuffle(lines.begin(), lines.end(), rng);
    return lines;
}

std::vector<fs::path> writeMergeData(const fs::path& dir, bool utf8Copies)
{
    fs::create_directories(dir);
    const std::vector<std::string> lines = makeLines();
    std::vector<fs::path> inputs;
    for (int f = 0; f < kFiles; ++f) {
        const std::string name = "in" + std::to_string(f + 1) + ".txt";
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        std::ofstream outUtf8;
        if (utf8Copies)
            outUtf8.open(dir / ("utf8-" + name), std::ios::binary | std::ios::trunc);
        for (int i = 0; i < kLinesPerFile; ++i) {
            const std::string& l = lines[size_t(f) * kLinesPerFile + size_t(i)];
            out << l << "\r\n";
            if (utf8Copies)
                outUtf8 << vq::ansiToUtf8(l) << "\n";
        }
        inputs.push_back(dir / name);
    }
    return inputs;
}

fs::path scratchDir()
{
    static const fs::path dir = fs::temp_directory_path() / ("vq-bench-tools-" + std::to_string(::getpid()));
    return dir;
}

void BM_MergeFiveFiles(benchmark::State& state)
{
    static const std::vector<fs::path> inputs = writeMergeData(scratchDir() / "merge", false);
    const fs::path output = scratchDir() / "merged.txt";
    for (auto _ : state)
        vq::mergeFiles(inputs, output, "zh_CN");
    std::ifstream merged(output, std::ios::binary);
    state.counters["lines_out"] =
        static_cast<double>(std::count(std::istreambuf_iterator<char>(merged), std::istreambuf_iterator<char>(), '\n'));
}
BENCHMARK(BM_MergeFiveFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_GenerateMillionOneCounter(benchmark::State& state)
{
    vq::OneCounterFields f;
    f.prefix = "http://bbs.example.com/forum.php?mod=viewthread&tid=";
    f.first = "1";
    f.last = "1000000";
    f.suffix = "&page=1";
    const fs::path out = scratchDir() / "urls1.txt";
    for (auto _ : state)
        benchmark::DoNotOptimize(vq::generateOneCounter(out, f, [](int64_t) {}));
}
BENCHMARK(BM_GenerateMillionOneCounter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_GenerateMillionTwoCounters(benchmark::State& state)
{
    vq::TwoCounterFields f;
    f.front = "http://bbs.example.com/forum-";
    f.first = "1";
    f.last = "1000000";
    f.middle = "-";
    f.secondStart = "1";
    f.back = ".html";
    const fs::path out = scratchDir() / "urls2.txt";
    for (auto _ : state)
        benchmark::DoNotOptimize(vq::generateTwoCounters(out, f, [](int64_t) {}));
}
BENCHMARK(BM_GenerateMillionTwoCounters)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

#ifdef VQ_BENCH_FRONTIER
// Ten results a page: nine links and a fax number.
void commitPages(vq::SiteFrontier& frontier, int64_t& row, int pages)
{
    for (int i = 0; i < pages; ++i, ++row) {
        vq::PageResult page;
        page.row = row;
        page.record.address = "http://p" + std::to_string(row) + ".example.com/";
        page.record.finalUrl = page.record.address;
        for (int k = 0; k < 9; ++k)
            page.links.push_back(page.record.address + "item/" + std::to_string(k) + ".html");
        page.fax.push_back("0519-" + std::to_string(80000000 + row));
        frontier.commit(page, false);
    }
}

// state.range(0): the results the frontier holds; range(1): 1 when every save
// is a process's first, which writes the files whole.
void BM_FrontierSave(benchmark::State& state)
{
    constexpr int kPagesPerSave = 100; // 1,000 results
    constexpr int kIterations = 5;
    const int64_t held = state.range(0);
    const bool whole = state.range(1) != 0;
    const fs::path dir = scratchDir() / ("frontier-" + std::to_string(held) + (whole ? "-whole" : ""));
    fs::create_directories(dir);
    std::vector<vq::AnsiString> seeds;
    for (int64_t i = 1; i <= held / 10 + (kIterations + 2) * kPagesPerSave; ++i)
        seeds.push_back("http://p" + std::to_string(i) + ".example.com/");
    vq::writeAllLines(dir / "list.txt", seeds);
    vq::FrontierDb db(dir / vq::kFrontierFileName, vq::FrontierDb::Open::FreshForcing);
    auto frontier = std::make_unique<vq::SiteFrontier>(db, vq::FrontierOptions{});
    frontier->seed((dir / "list.txt").string(), 0, 1);
    int64_t row = 1;
    commitPages(*frontier, row, static_cast<int>(held / 10));
    frontier->writeResultFiles(dir);
    for (auto _ : state) {
        state.PauseTiming();
        commitPages(*frontier, row, kPagesPerSave);
        if (whole)
            frontier = std::make_unique<vq::SiteFrontier>(db, vq::FrontierOptions{});
        state.ResumeTiming();
        frontier->writeResultFiles(dir);
    }
    state.counters["results"] = static_cast<double>(frontier->counts().links + frontier->counts().fax);
}
BENCHMARK(BM_FrontierSave)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->ArgNames({"held", "whole"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
#endif

} // namespace

int main(int argc, char** argv)
{
    const char* flag = "--write-merge-data=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
            writeMergeData(argv[i] + std::strlen(flag), true);
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(scratchDir(), ec);
    return 0;
}
