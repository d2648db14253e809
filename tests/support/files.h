// Raw file access for tests: the exact bytes, no text-file rules applied.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vq::test {

inline std::string readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace vq::test
