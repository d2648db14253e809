// The two text-file disciplines. All content is ANSI text (code page 936), no
// byte-order mark, no end-of-file byte.
//
// Line by line (URL list, search-state file, autosave files, generated URL lists):
//   writing creates or replaces the file (atomically) and ends every line, the last
//   included, with CR LF. Reading: a line ends at LF; a CR directly before the LF
//   goes with it; a lone CR is dropped and does not end the line; a last line
//   without a break is still a line; no length limit; the data ends where no bytes
//   remain or where a line would begin with the byte 0x1A (Ctrl-Z). Reading past
//   the end raises no error and yields an empty line (or "\x1A" at a Ctrl-Z).
//
// Whole list (option lists, merge inputs and output, the page text):
//   loading splits at CR, at LF or at CR LF (LF CR gives an empty line between),
//   a trailing break adds no empty line, a NUL byte ends the data. Saving writes
//   every entry followed by CR LF.
#pragma once

#include "text/ansi.h"
#include "text/atomic_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace vq {

// Reads a file line by line through a buffer; the file stays open until close().
class TextReader {
public:
    TextReader() = default;
    explicit TextReader(const std::filesystem::path& path); // opens; throws EInOutError
    ~TextReader();
    TextReader(TextReader&&) noexcept;
    TextReader& operator=(TextReader&&) noexcept;

    void open(const std::filesystem::path& path); // throws EInOutError
    bool isOpen() const { return fd_ >= 0; }
    bool eof();                 // no line left (end of bytes, or a Ctrl-Z at a line start)
    AnsiString readLine();      // throws EInOutError on a read error
    void close();               // throws EInOutError when the close fails

private:
    bool fill();                // more bytes into the buffer; false at end of file
    int fd_ = -1;
    std::string buf_;
    size_t pos_ = 0;
    bool atEndOfFile_ = false;
};

// Writes a file line by line; the file is replaced only by commit().
class TextWriter {
public:
    explicit TextWriter(const std::filesystem::path& path); // throws EInOutError
    void writeLine(std::string_view line);                  // line + CR LF
    void commit();

private:
    AtomicFile file_;
};

// A log written a line at a time, each line on its way to the file when
// writeLine() returns (a crash keeps every line written before it).
class LineLog {
public:
    LineLog(const std::filesystem::path& path, bool append); // throws EInOutError naming the file
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    void writeLine(std::string_view line); // line + LF; throws EInOutError naming the file
    void close();                          // throws EInOutError naming the file

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Whole-list discipline.
std::vector<AnsiString> splitList(std::string_view data);
std::vector<AnsiString> loadList(const std::filesystem::path& path);  // EFOpenError "Cannot open file %s"
void saveList(const std::filesystem::path& path,
              const std::vector<AnsiString>& lines);                  // atomic; EFCreateError "Cannot create file %s"

// Line-by-line helpers for small files: all lines up to the end of the data,
// and an atomic write of lines each ended by CR LF.
std::vector<AnsiString> readAllLines(const std::filesystem::path& path);
void writeAllLines(const std::filesystem::path& path, const std::vector<AnsiString>& lines);

} // namespace vq
