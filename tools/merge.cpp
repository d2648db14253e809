#include "tools/merge.h"

#include "text/errors.h"
#include "text/text_file.h"
#include "tools/collation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace vq {

namespace {

// Code page 936 to UTF-16; plain ASCII (the common case for URLs) is widened
// directly, everything else goes through the code page converter.
void toUtf16(std::string_view ansi, std::u16string& out)
{
    bool ascii = true;
    for (unsigned char c : ansi) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        out.resize(ansi.size());
        for (size_t i = 0; i < ansi.size(); ++i)
            out[i] = static_cast<char16_t>(static_cast<unsigned char>(ansi[i]));
    } else {
        out = ansiToUtf16(ansi);
    }
}

struct Keyed {
    uint64_t chunk; // eight key bytes from the current depth, big-endian, zero after the key's end
    size_t key;     // offset of the sort key (NUL-terminated) in the key arena
    size_t index;   // position of the entry in the input order
};

// Eight bytes of a NUL-terminated key from `p`; the bytes after the terminator
// count as zero. A chunk whose last byte is zero holds the key's end, since a key
// has no zero byte but its terminator.
uint64_t loadChunk(const char* p)
{
    uint64_t v = 0;
    int i = 0;
    for (; i < 8 && p[i]; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return i == 8 ? v : v << (8 * (8 - i));
}

bool holdsKeyEnd(uint64_t chunk) { return (chunk & 0xFF) == 0; }

// Sorts by (key, index). Keys of page addresses share long prefixes, which makes
// whole-key comparisons slow; this sorts on eight key bytes at a time held next
// to the entry, and only entries still equal go on to the next eight bytes.
void sortByKey(std::vector<Keyed>& keyed, const char* arena)
{
    struct Range {
        size_t lo, hi, depth;
    };
    for (Keyed& k : keyed)
        k.chunk = loadChunk(arena + k.key);
    std::vector<Range> pending{{0, keyed.size(), 0}};
    while (!pending.empty()) {
        const Range r = pending.back();
        pending.pop_back();
        std::sort(keyed.begin() + static_cast<ptrdiff_t>(r.lo), keyed.begin() + static_cast<ptrdiff_t>(r.hi),
                  [](const Keyed& a, const Keyed& b) {
                      return a.chunk < b.chunk || (a.chunk == b.chunk && a.index < b.index);
                  });
        for (size_t i = r.lo; i < r.hi;) {
            size_t j = i + 1;
            while (j < r.hi && keyed[j].chunk == keyed[i].chunk)
                ++j;
            // Equal chunks that hold the key's end are equal keys, already in input order.
            if (j - i > 1 && !holdsKeyEnd(keyed[i].chunk)) {
                const size_t depth = r.depth + 8;
                for (size_t k = i; k < j; ++k)
                    keyed[k].chunk = loadChunk(arena + keyed[k].key + depth);
                pending.push_back({i, j, depth});
            }
            i = j;
        }
    }
}

// The positions of the entries whose bytes were not met before, in order. An
// open-addressing table of positions: no allocation per entry.
std::vector<size_t> firstOfEachText(const std::vector<AnsiString>& entries)
{
    size_t capacity = 16;
    while (capacity < entries.size() * 2)
        capacity *= 2;
    const size_t mask = capacity - 1;
    struct Slot {
        size_t hash;
        size_t index; // SIZE_MAX: empty
    };
    std::vector<Slot> slots(capacity, Slot{0, SIZE_MAX});
    const std::hash<std::string_view> hasher;
    std::vector<size_t> firsts;
    firsts.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string_view text = entries[i];
        const size_t h = hasher(text);
        for (size_t s = h & mask;; s = (s + 1) & mask) {
            Slot& slot = slots[s];
            if (slot.index == SIZE_MAX) {
                slot = {h, i};
                firsts.push_back(i);
                break;
            }
            if (slot.hash == h && entries[slot.index] == text)
                break;
        }
    }
    return firsts;
}

} // namespace

std::vector<AnsiString> distinctSorted(std::vector<AnsiString> entries, const std::string& locale)
{
    Collation collation(locale);

    // Byte-identical entries are equal under any collation: drop the later copies
    // before the comparatively costly sort keys are made.
    const std::vector<size_t> firsts = firstOfEachText(entries);

    // One sort key per distinct entry, all in one arena.
    std::string arena;
    {
        // A secondary-strength key is about one byte per character plus a few
        // level bytes; a reserve of that size saves the regrowth copies.
        size_t bytes = 0;
        for (size_t i : firsts)
            bytes += entries[i].size() + 8;
        arena.reserve(bytes + bytes / 4);
    }
    std::vector<Keyed> keyed;
    keyed.reserve(firsts.size());
    std::u16string wide;
    for (size_t i : firsts) {
        toUtf16(entries[i], wide);
        keyed.push_back({0, arena.size(), i});
        // The key ends with its NUL byte and holds no other, so strcmp compares keys.
        collation.appendSortKey(wide, arena);
    }

    const char* base = arena.data();
    sortByKey(keyed, base);

    // Within a run of equal keys (in input order) an entry is dropped when it
    // matches a kept one apart from letter case. The fold check keeps entries
    // apart that the collator only finds equal for other reasons (full-width
    // letters, ignorable control characters).
    std::vector<AnsiString> result;
    result.reserve(keyed.size());
    std::unordered_set<std::u16string> kept; // folded forms of the run's kept entries
    for (size_t r = 0; r < keyed.size();) {
        size_t end = r + 1;
        while (end < keyed.size() && std::strcmp(base + keyed[r].key, base + keyed[end].key) == 0)
            ++end;
        if (end == r + 1) {
            result.push_back(std::move(entries[keyed[r].index]));
        } else {
            kept.clear();
            for (size_t j = r; j < end; ++j) {
                toUtf16(entries[keyed[j].index], wide);
                if (kept.insert(collation.foldCase(wide)).second)
                    result.push_back(std::move(entries[keyed[j].index]));
            }
        }
        r = end;
    }
    return result;
}

void mergeFiles(const std::vector<std::filesystem::path>& inputs, const std::filesystem::path& output,
                const std::string& locale)
{
    std::vector<AnsiString> entries;
    for (const auto& input : inputs) {
        std::vector<AnsiString> lines = loadList(input);
        if (entries.empty()) {
            entries = std::move(lines);
        } else {
            entries.reserve(entries.size() + lines.size());
            std::move(lines.begin(), lines.end(), std::back_inserter(entries));
        }
    }
    // Every input is read by now, so the output may well be one of them.
    saveList(output, distinctSorted(std::move(entries), locale));
}

} // namespace vq
