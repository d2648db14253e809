// What the batch command's subcommands share: exit codes, usage errors, option
// values, the default marker words and how an error is told on stderr.
#pragma once

#include "text/ansi.h"

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace vq::cli {

constexpr int kExitOk = 0;
constexpr int kExitRuntime = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSigint = 130;
constexpr int kExitSigterm = 143;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The initial marker words, in code page 936.
std::vector<AnsiString> defaultMarkers();
bool wantsHelp(const std::vector<std::string>& args);
// Takes the value of an option that needs one.
std::string optionValue(const std::vector<std::string>& args, size_t& i);
int32_t integerArgument(const std::string& name, const std::string& text);
std::vector<AnsiString> loadMarkers(const std::string& file);
// An error's message for stderr: a file error names its file.
std::string describe(const std::exception& e);

} // namespace vq::cli
