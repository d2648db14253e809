// Where a crawl's CPU time goes, by process and, in the crawler's own
// process, by thread: utime + stime from /proc/PID/stat and
// /proc/PID/task/TID/stat, the last value seen of each process while the
// crawl ran (a process that ends loses what it spent after the last sample,
// at most one sampling period). Linux only.
#pragma once

#include "bench/bench_process.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vq::bench {

// Clock ticks spent by a process or thread so far (user + system); -1 when gone.
inline long cpuTicks(const std::string& statPath)
{
    const std::vector<std::string> f = statFields(statPath); // utime and stime are fields 14 and 15
    return f.size() > 12 ? std::atol(f[11].c_str()) + std::atol(f[12].c_str()) : -1;
}

// What Chromium's command line says a process is; "main" for the crawler itself.
inline std::string processKind(pid_t pid, pid_t root)
{
    if (pid == root)
        return "main";
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = cmdline.find("--type=");
    if (at == std::string::npos)
        return cmdline.find("chrom") != std::string::npos ? "browser" : "other";
    // Chromium rewrites its command line into one string: a value ends at a space too.
    const auto valueAt = [&](size_t from) { return cmdline.substr(from, cmdline.find_first_of(std::string(" \0", 2), from) - from); };
    std::string kind = valueAt(at + 7);
    // The zygote forks the renderers, which keep its command line.
    if (kind == "zygote" && parentOf(pid) != root)
        return "renderer";
    if (kind == "utility") { // the network service and its kin
        const size_t sub = cmdline.find("--utility-sub-type=");
        if (sub != std::string::npos)
            kind += " " + valueAt(sub + 19);
    }
    return kind;
}

class CpuTally {
public:
    // One sample of the crawl's process tree (the crawler first).
    void sample(const TreeMemory& tree)
    {
        if (tree.pids.empty())
            return;
        root_ = tree.pids.front();
        for (pid_t pid : tree.pids) {
            const long ticks = cpuTicks("/proc/" + std::to_string(pid) + "/stat");
            if (ticks < 0)
                continue;
            auto [it, fresh] = processes_.try_emplace(pid);
            if (fresh) {
                it->second.kind = processKind(pid, root_);
                ++started_[it->second.kind];
            }
            it->second.ticks = ticks;
        }
        sampleThreads();
    }

    // Seconds of CPU by kind of process ("main", "renderer", "gpu-process", ...),
    // and by thread group of the main process ("main: <thread name>").
    std::map<std::string, double> seconds() const
    {
        const double hz = double(sysconf(_SC_CLK_TCK));
        std::map<std::string, double> by;
        for (const auto& [pid, p] : processes_)
            by[p.kind] += double(p.ticks) / hz;
        for (const auto& [name, ticks] : threadTicks())
            by["main: " + name] += double(ticks) / hz;
        return by;
    }
    const std::map<std::string, int>& started() const { return started_; }

private:
    struct Process {
        std::string kind;
        long ticks = 0;
    };
    struct Thread {
        std::string name;
        long ticks = 0;
    };

    void sampleThreads()
    {
        const std::string dir = "/proc/" + std::to_string(root_) + "/task";
        DIR* d = opendir(dir.c_str());
        if (!d)
            return;
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            const pid_t tid = pid_t(std::atoi(e->d_name));
            const long ticks = cpuTicks(dir + "/" + e->d_name + "/stat");
            if (ticks < 0)
                continue;
            Thread& t = threads_[tid];
            if (t.name.empty()) {
                std::ifstream comm(dir + "/" + e->d_name + "/comm");
                std::getline(comm, t.name);
                if (tid == root_)
                    t.name = "main thread";
                // Numbered pools count as one.
                while (!t.name.empty() && (std::isdigit(static_cast<unsigned char>(t.name.back())) || t.name.back() == '/'))
                    t.name.pop_back();
            }
            t.ticks = ticks;
        }
        closedir(d);
    }

    std::map<std::string, long> threadTicks() const
    {
        std::map<std::string, long> by;
        for (const auto& [tid, t] : threads_)
            by[t.name] += t.ticks;
        return by;
    }

    pid_t root_ = 0;
    std::map<pid_t, Process> processes_;
    std::map<pid_t, Thread> threads_;
    std::map<std::string, int> started_;
};

// The tally as a table: seconds, milliseconds per line of the list, and how many processes of each kind started.
inline void printCpu(const CpuTally& cpu, int lines, double wallS)
{
    std::printf("| CPU of | s | ms per line | processes started |\n|---|---:|---:|---:|\n");
    double total = 0;
    for (const auto& [kind, s] : cpu.seconds()) {
        const bool thread = kind.rfind("main: ", 0) == 0;
        if (!thread)
            total += s;
        if (thread && s < 0.05)
            continue;
        const auto n = cpu.started().find(kind);
        std::printf("| %s%s | %.1f | %.1f | %s |\n", thread ? "&nbsp;&nbsp;" : "", kind.c_str(), s,
                    lines > 0 ? 1000.0 * s / lines : 0.0,
                    n == cpu.started().end() ? "" : std::to_string(n->second).c_str());
    }
    std::printf("| all | %.1f | %.1f | of %.1f s × 2 cores |\n", total, lines > 0 ? 1000.0 * total / lines : 0.0, wallS);
}

} // namespace vq::bench
