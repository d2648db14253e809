// vqharvest crawl: the window's search without a window, over one or more
// browser lanes.
#pragma once

#include <string>
#include <vector>

namespace vq::cli {

// Returns the exit code: 0 done, 1 runtime error (or stopped because pages
// could no longer be rendered), 130 / 143 stopped by SIGINT / SIGTERM after
// saving. Usage errors are raised as UsageError.
int runCrawl(int argc, char** argv, const std::vector<std::string>& args);

} // namespace vq::cli
