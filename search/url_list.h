// The URL list source: counting a list's lines, and reading one address at a
// time (the text of a line before its first space).
#pragma once

#include "search/line_source.h"
#include "text/text_file.h"

#include <cstdint>
#include <filesystem>

namespace vq {

// The open list during a search.
class UrlList : public LineSource {
public:
    void open(const AnsiString& path); // from its first line
    bool isOpen() const;
    bool atEnd();               // no further line (true when not open)
    AnsiString readAddress();   // next line, cut at its first space
    AnsiString readLine();      // next line, whole (used to skip lines)
    void close();

    // LineSource: the next line's address until the end of the list.
    Next next(SourceLine& line) override;
    bool exhausted() override { return atEnd(); }

    // A line's address: the bytes before the first space, or the whole line.
    static AnsiString cutAtSpace(const AnsiString& line);
    // Counts the lines of a list file; `total` holds the count reached so far
    // when reading fails part-way.
    static void countLines(const std::filesystem::path& path, int32_t& total);

private:
    TextReader reader_;
};

} // namespace vq
