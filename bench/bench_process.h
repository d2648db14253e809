// Running vqharvest (or another crawler) as a child process of a benchmark,
// with the memory of its whole process tree read from /proc. Linux only.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vq::bench {

namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

// Memory of one process, or of a process and everything below it, in kB.
struct Memory {
    long rss = 0;
    long pss = 0;
    long anon = 0; // anonymous pages (heaps): what other processes' sharing of
                   // libraries cannot change, unlike Pss
    int processes = 0;

    Memory& operator+=(const Memory& m)
    {
        rss += m.rss;
        pss += m.pss;
        anon += m.anon;
        processes += m.processes;
        return *this;
    }
};

// Rss, Pss and the anonymous pages from /proc/PID/smaps_rollup; nothing for a process already gone.
inline Memory processMemory(pid_t pid)
{
    Memory m;
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long kb = 0;
    bool any = false;
    while (in >> key) {
        if (key == "Rss:" && in >> kb) {
            m.rss = kb;
            any = true;
        } else if (key == "Pss:" && in >> kb) {
            m.pss = kb;
        } else if (key == "Anonymous:" && in >> kb) {
            m.anon = kb;
        }
        in.ignore(1 << 16, '\n');
    }
    m.processes = any ? 1 : 0;
    return m;
}

// The fields of a /proc/.../stat file after the process's name (which may
// hold spaces and parentheses): state, parent, ... ; empty when it is gone.
inline std::vector<std::string> statFields(const std::string& statPath)
{
    std::ifstream in(statPath);
    std::string stat;
    std::getline(in, stat);
    const size_t close = stat.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos)
        return fields;
    std::istringstream rest(stat.substr(close + 1));
    for (std::string f; rest >> f;)
        fields.push_back(f);
    return fields;
}

// A process's parent; 0 when it is gone.
inline pid_t parentOf(pid_t pid)
{
    const std::vector<std::string> f = statFields("/proc/" + std::to_string(pid) + "/stat");
    return f.size() > 1 ? static_cast<pid_t>(std::atol(f[1].c_str())) : 0;
}

// Every process's parent.
inline std::multimap<pid_t, pid_t> childrenByParent()
{
    std::multimap<pid_t, pid_t> children;
    DIR* proc = opendir("/proc");
    if (!proc)
        return children;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0)
            continue;
        if (const pid_t parent = parentOf(static_cast<pid_t>(pid)))
            children.emplace(parent, static_cast<pid_t>(pid));
    }
    closedir(proc);
    return children;
}

struct TreeMemory {
    Memory main; // vqharvest itself
    Memory tree; // vqharvest and every process below it
    std::vector<pid_t> pids; // vqharvest first
};

inline TreeMemory sampleTree(pid_t root)
{
    const std::multimap<pid_t, pid_t> children = childrenByParent();
    TreeMemory t;
    t.main = processMemory(root);
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t pid = todo.back();
        todo.pop_back();
        t.pids.push_back(pid);
        t.tree += pid == root ? t.main : processMemory(pid);
        for (auto [it, last] = children.equal_range(pid); it != last; ++it)
            todo.push_back(it->second);
    }
    return t;
}

// Field by field, the median of samples: a single sample may fall on a
// renderer being replaced or a page being parsed.
inline TreeMemory medianOf(const std::vector<TreeMemory>& samples)
{
    auto median = [&](auto field) {
        std::vector<long> v;
        for (const TreeMemory& t : samples)
            v.push_back(field(t));
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        return v.empty() ? 0L : v[v.size() / 2];
    };
    TreeMemory m;
    m.main.rss = median([](const TreeMemory& t) { return t.main.rss; });
    m.main.anon = median([](const TreeMemory& t) { return t.main.anon; });
    m.main.pss = median([](const TreeMemory& t) { return t.main.pss; });
    m.tree.rss = median([](const TreeMemory& t) { return t.tree.rss; });
    m.tree.anon = median([](const TreeMemory& t) { return t.tree.anon; });
    m.tree.pss = median([](const TreeMemory& t) { return t.tree.pss; });
    m.tree.processes = int(median([](const TreeMemory& t) { return long(t.tree.processes); }));
    return m;
}

// The load average over the last minute.
inline double loadAverage()
{
    double one = 0;
    std::ifstream("/proc/loadavg") >> one;
    return one;
}

inline double mb(long kb)
{
    return double(kb) / 1024.0;
}

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// vqharvest with its standard output and standard error in a file.
inline pid_t spawn(const std::string& program, const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "bench: cannot start %s: %s\n", program.c_str(), std::strerror(rc));
        std::exit(1);
    }
    return pid;
}

// Lines of a file that grows (the report), read as far as it is written.
class LineCounter {
public:
    explicit LineCounter(fs::path path) : path_(std::move(path)) {}
    int count()
    {
        std::ifstream in(path_, std::ios::binary);
        if (!in)
            return lines_;
        in.seekg(offset_);
        char buf[1 << 16];
        while (in.read(buf, sizeof buf) || in.gcount() > 0) {
            offset_ += in.gcount();
            lines_ += int(std::count(buf, buf + in.gcount(), '\n'));
        }
        return lines_;
    }

private:
    fs::path path_;
    std::streamoff offset_ = 0;
    int lines_ = 0;
};

// One crawl: the tree sampled every 100 ms until vqharvest exits; onSample
// sees every sample.
struct RunResult {
    int exitCode = -1;
    double wallS = 0;
    TreeMemory peak;
    std::string log;
};

template <class OnSample>
RunResult runCrawl(const std::string& program, const std::vector<std::string>& args, const fs::path& log,
                   OnSample onSample)
{
    RunResult r;
    const auto start = Clock::now();
    const pid_t pid = spawn(program, args, log);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        const TreeMemory t = sampleTree(pid);
        r.peak.main.rss = std::max(r.peak.main.rss, t.main.rss);
        r.peak.main.pss = std::max(r.peak.main.pss, t.main.pss);
        r.peak.tree.rss = std::max(r.peak.tree.rss, t.tree.rss);
        r.peak.tree.pss = std::max(r.peak.tree.pss, t.tree.pss);
        r.peak.tree.processes = std::max(r.peak.tree.processes, t.tree.processes);
        onSample(t);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    r.wallS = std::chrono::duration<double>(Clock::now() - start).count();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.log = readFile(log);
    return r;
}

// The figures of vqharvest's own summary line: "N pages, X pages/s; failed: ..."
struct Summary {
    int pages = 0;
    double perSecond = 0;
    int retried = 0; // scanned on a retry
    int timeout = 0, navigation = 0, render = 0, skipped = 0, notAddress = 0;
    int failed() const { return timeout + navigation + render + skipped + notAddress; }
    bool found = false;
};

inline Summary parseSummary(const std::string& log)
{
    // The line after "N of M lines done, ..." or, crawling a frontier, "N pages done, ...".
    Summary s;
    for (size_t at = log.find("vqharvest: "); at != std::string::npos && !s.found; at = log.find("vqharvest: ", at + 1))
        s.found = std::sscanf(log.c_str() + at,
                              "vqharvest: %d pages, %lf pages/s, %d scanned on a retry; failed: %d timeout, "
                              "%d navigation error, %d render failure, %d skipped scheme, %d not an address",
                              &s.pages, &s.perSecond, &s.retried, &s.timeout, &s.navigation, &s.render,
                              &s.skipped, &s.notAddress) >= 7;
    return s;
}

} // namespace vq::bench
