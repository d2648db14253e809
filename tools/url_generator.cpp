#include "tools/url_generator.h"

#include "text/integer.h"
#include "text/text_file.h"

#include <charconv>
#include <chrono>
#include <string>

namespace vq {

namespace {

// A number field: strict integer text (EConvertError otherwise).
int64_t readNumber(const AnsiString& field)
{
    return strToInt(field);
}

// Plain decimal, "-" for negatives, appended without a temporary string.
void appendNumber(std::string& out, int64_t value)
{
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, r.ptr);
}

// Passes the count on about ten times a second; the clock is looked at only
// every few thousand lines so that reporting costs next to nothing.
class ProgressPacer {
public:
    explicit ProgressPacer(const GeneratorProgress& progress) : progress_(progress) {}

    void lineWritten(int64_t count)
    {
        if (!progress_ || (count & 0xFFF) != 0)
            return;
        const auto now = Clock::now();
        if (now - last_ >= std::chrono::milliseconds(100)) {
            last_ = now;
            progress_(count);
        }
    }
    void finished(int64_t count)
    {
        if (progress_)
            progress_(count);
    }

private:
    using Clock = std::chrono::steady_clock;
    const GeneratorProgress& progress_;
    Clock::time_point last_ = Clock::now();
};

} // namespace

int64_t generateOneCounter(const OneCounterFields& fields, const LineSink& sink,
                           const GeneratorProgress& progress)
{
    const int64_t first = readNumber(fields.first);
    const int64_t last = readNumber(fields.last);
    const int64_t multiplier = readNumber(fields.multiplier);

    ProgressPacer pacer(progress);
    std::string line;
    int64_t count = 0;
    // 64-bit counter and product: |multiplier × v| < 2^62, and v = INT32_MAX ends the loop.
    for (int64_t v = first; v <= last; ++v) {
        line.assign(fields.prefix);
        appendNumber(line, multiplier * v);
        line += fields.suffix;
        sink(line);
        pacer.lineWritten(++count);
    }
    pacer.finished(count);
    return count;
}

int64_t generateOneCounter(const std::filesystem::path& file, const OneCounterFields& fields,
                           const GeneratorProgress& progress)
{
    // All fields first: a bad one must not leave a new, empty or partial file.
    readNumber(fields.first);
    readNumber(fields.last);
    readNumber(fields.multiplier);

    TextWriter writer(file);
    const int64_t count =
        generateOneCounter(fields, [&](std::string_view line) { writer.writeLine(line); }, progress);
    writer.commit();
    return count;
}

int64_t generateTwoCounters(const std::filesystem::path& file, const TwoCounterFields& fields,
                            const GeneratorProgress& progress)
{
    int64_t k = readNumber(fields.secondStart);
    const int64_t first = readNumber(fields.first);
    const int64_t last = readNumber(fields.last);

    TextWriter writer(file);
    ProgressPacer pacer(progress);
    std::string line;
    int64_t count = 0;
    for (int64_t v = first; v <= last; ++v, ++k) {
        line.assign(fields.front);
        appendNumber(line, v);
        line += fields.middle;
        appendNumber(line, k);
        line += fields.back;
        writer.writeLine(line);
        pacer.lineWritten(++count);
    }
    writer.commit();
    pacer.finished(count);
    return count;
}

} // namespace vq
