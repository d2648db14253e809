// The cost of one save of a search's results (autosave, "进程") as the result
// lists grow: 10,000, 100,000 and 1,000,000 results already saved, then 1,000
// results found since the last save. "Append" is what a save does; "Whole"
// writes every file whole, as every save did before the files grew by
// appending (and as a save still does once the lists no longer match them).
#include "search/saved_results.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace vq;

namespace {

constexpr int kNewPerSave = 1000;

struct Folder {
    fs::path dir;
    Folder() : dir(fs::temp_directory_path() / ("vq-bench-save-" + std::to_string(::getpid())))
    {
        fs::create_directories(dir);
    }
    ~Folder() { fs::remove_all(dir); }
};

// One result as a crawl finds them: a link, and every tenth a fax number with its page.
void addResults(SearchResults& r, int64_t from, int64_t count)
{
    for (int64_t i = from; i < from + count; ++i) {
        r.links.append("http://www.company" + std::to_string(i) + ".example.com/about/contact.html");
        if (i % 10 == 0)
            r.fax.append("0519-" + std::to_string(80000000 + i % 10000000),
                         "http://www.company" + std::to_string(i) + ".example.com/");
    }
}

void save(benchmark::State& state, bool whole)
{
    Folder folder;
    const int64_t saved = state.range(0);
    SearchResults r;
    addResults(r, 0, saved);
    StoredSearch stored;
    saveSearch(folder.dir, stored, r);
    int64_t next = saved;
    for (auto _ : state) {
        state.PauseTiming();
        addResults(r, next, kNewPerSave);
        next += kNewPerSave;
        if (whole)
            r.linksFile = r.faxFile = r.originsFile = FileMark{};
        state.ResumeTiming();
        saveSearch(folder.dir, stored, r);
    }
    state.counters["results"] = static_cast<double>(next);
}

void BM_SaveAppend(benchmark::State& state) { save(state, false); }
void BM_SaveWhole(benchmark::State& state) { save(state, true); }

} // namespace

BENCHMARK(BM_SaveAppend)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_SaveWhole)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
