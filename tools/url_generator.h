// The URL list generator behind the "生成URL页面地址列表" dialog: numbered page
// addresses written as a URL list file (line by line, CR LF, replaced atomically).
#pragma once

#include "text/ansi.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace vq {

// The dialog's fields as typed (code page 936). Number fields are read as
// strict integer text.
struct OneCounterFields {
    AnsiString prefix = "http://"; // Edit1 "URL网址前缀"
    AnsiString first = "0";        // Edit2 "初始计数"
    AnsiString last;               // Edit3 "结束计数"
    AnsiString suffix;             // Edit4 "URL网址后缀"
    AnsiString multiplier = "1";   // Edit12 "增长率"
};

struct TwoCounterFields {
    AnsiString front = "http://";  // Edit5 "URL网址前段"
    AnsiString first = "0";        // Edit6 "初始计数"
    AnsiString last;               // Edit7 "结束计数"
    AnsiString middle;             // Edit9 "URL网址中部"
    AnsiString secondStart = "0";  // Edit10 "初始计数" of the second counter
    AnsiString back;               // Edit8 "URL网址后段"
};

// Called with the number of lines written so far: a few times a second while
// writing, and once at the end with the final count.
using GeneratorProgress = std::function<void(int64_t linesWritten)>;

// Lines prefix + (multiplier × v) + suffix for v = first..last (none when
// last < first). Every number field is checked before the file is touched: a bad
// one raises EConvertError and the file stays as it was. Returns the line count.
int64_t generateOneCounter(const std::filesystem::path& file, const OneCounterFields& fields,
                           const GeneratorProgress& progress = {});

// The same lines handed to `sink` (without line breaks) instead of a file;
// a bad number field raises before the first line.
using LineSink = std::function<void(std::string_view line)>;
int64_t generateOneCounter(const OneCounterFields& fields, const LineSink& sink,
                           const GeneratorProgress& progress = {});

// Lines front + v + middle + k + back for v = first..last, k starting at
// secondStart and raised by one per line. Same checks as above.
int64_t generateTwoCounters(const std::filesystem::path& file, const TwoCounterFields& fields,
                            const GeneratorProgress& progress = {});

} // namespace vq
