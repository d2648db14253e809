#include "text/replace.h"

#include "text/platform.h"

#include <cstring>
#include <memory>
#include <vector>

namespace vq {
namespace {

constexpr bool isAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
constexpr unsigned char foldAscii(unsigned char c) { return isAsciiLetter(c) ? (c | 0x20) : c; }

// Finds the next position at or after `from` holding one of two bytes (the two
// cases of a letter, or one byte twice). Each byte is searched with memchr and
// its next position remembered, so every byte of the text is scanned at most
// once per byte value.
class TwoByteScanner {
public:
    TwoByteScanner(std::string_view text, unsigned char a, unsigned char b)
        : data_(text.data()), size_(text.size()), a_(a), b_(b), single_(a == b)
    {
    }

    size_t next(size_t from)
    {
        if (nextA_ < from || nextA_ == kUnknown)
            nextA_ = find(a_, from);
        if (single_)
            return nextA_;
        if (nextB_ < from || nextB_ == kUnknown)
            nextB_ = find(b_, from);
        return nextA_ < nextB_ ? nextA_ : nextB_;
    }

private:
    static constexpr size_t kUnknown = static_cast<size_t>(-2);
    size_t find(unsigned char c, size_t from) const
    {
        if (from >= size_)
            return std::string_view::npos;
        const void* p = std::memchr(data_ + from, c, size_ - from);
        return p ? static_cast<size_t>(static_cast<const char*>(p) - data_) : std::string_view::npos;
    }

    const char* data_;
    size_t size_;
    unsigned char a_, b_;
    bool single_;
    size_t nextA_ = kUnknown;
    size_t nextB_ = kUnknown;
};

} // namespace

size_t findBytes(std::string_view haystack, std::string_view needle, size_t from)
{
    if (needle.empty() || from > haystack.size() || needle.size() > haystack.size() - from)
        return std::string_view::npos;
    const char* p = platform::findMemory(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
    return p ? static_cast<size_t>(p - haystack.data()) : std::string_view::npos;
}

void replaceAllIgnoreCase(AnsiString& text, std::string_view find, std::string_view with)
{
    const size_t m = find.size();
    const size_t n = text.size();
    if (m == 0 || m > n)
        return;

    // The pattern's own character structure: only an ASCII letter that stands as
    // a character of its own folds case; a trail byte that happens to equal a
    // letter is compared exactly. Within a match the text has the same structure,
    // because folding never turns a byte into or out of a lead byte.
    // Patterns are short: keep them on the stack unless they are not.
    unsigned char pattern[256];
    bool folds[256];
    std::vector<unsigned char> patternStore;
    std::unique_ptr<bool[]> foldsStore;
    unsigned char* pat = pattern;
    bool* fold = folds;
    if (m > sizeof pattern) {
        patternStore.resize(m);
        foldsStore = std::make_unique<bool[]>(m);
        pat = patternStore.data();
        fold = foldsStore.get();
    }
    for (size_t k = 0; k < m;) {
        unsigned char c = static_cast<unsigned char>(find[k]);
        if (isLeadByte(c) && k + 1 < m) {
            pat[k] = c;
            fold[k] = false;
            pat[k + 1] = static_cast<unsigned char>(find[k + 1]);
            fold[k + 1] = false;
            k += 2;
        } else {
            fold[k] = isAsciiLetter(c);
            pat[k] = fold[k] ? foldAscii(c) : c;
            k += 1;
        }
    }

    const unsigned char first = pat[0];
    TwoByteScanner scan(text, first, fold[0] ? static_cast<unsigned char>(first & ~0x20) : first);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());

    // `known` is a position known to start a character: the start of the text,
    // the end of the last match (the scan restarts there), or a position already
    // classified. Whether a candidate i starts a character follows from the run of
    // lead-range bytes just before it: any byte below 0x81 (or 0xFF) ends a
    // character, and the lead-range bytes after it pair up as lead and trail.
    size_t known = 0;
    size_t copied = 0; // text[0, copied) is already in `out`
    std::string out;
    bool replaced = false;

    size_t i = scan.next(0);
    while (i != std::string_view::npos && i + m <= n) {
        bool match = true;
        for (size_t k = 1; k < m; ++k) {
            unsigned char c = bytes[i + k];
            if ((fold[k] ? foldAscii(c) : c) != pat[k]) {
                match = false;
                break;
            }
        }
        if (match) {
            size_t j = i;
            while (j > known && isLeadByte(bytes[j - 1]))
                --j;
            const bool boundary = ((i - j) & 1) == 0;
            if (boundary) {
                if (!replaced) {
                    out.reserve(n + (with.size() > m ? (with.size() - m) * 4 : 0));
                    replaced = true;
                }
                out.append(text, copied, i - copied);
                out.append(with);
                copied = i + m;
                known = copied;
                i = scan.next(copied);
                continue;
            }
            // i is a trail byte; the character after it starts at i + 1.
            known = i + 1;
        }
        i = scan.next(i + 1);
    }
    if (!replaced)
        return;
    out.append(text, copied, std::string::npos);
    text.swap(out);
}

} // namespace vq
