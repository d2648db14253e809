#include "app/harvest/cli_prompts.h"

#include "text/paths.h"

#include <cstdio>

namespace vq::cli {

void CliPrompts::information(const std::string& text)
{
    message(text);
}

bool CliPrompts::confirm(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: %s (answered no)\n", text.c_str());
    return false;
}

void CliPrompts::message(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: %s\n", text.c_str());
    ++failures;
}

void CliPrompts::error(const std::string& text)
{
    if (beforeMessage)
        beforeMessage();
    std::fprintf(stderr, "vqharvest: error: %s\n", text.c_str());
    ++failures;
}

void CliPrompts::fileError(const std::string& text, const std::filesystem::path& file)
{
    error(pathToUtf8(file) + ": " + text);
}

} // namespace vq::cli
