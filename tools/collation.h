// The merge tool's collation: ICU on POSIX systems (collation_posix.cpp), the
// system's own locale-aware comparison on Windows (collation_win.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vq {

// A collation for `locale` that ignores letter case. Throws Exception when the
// locale has none.
class Collation {
public:
    explicit Collation(const std::string& locale);
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    // Appends the sort key of `text` to `keys`: keys compare as byte strings in
    // collation order (strcmp), each ends with one NUL byte and holds no other.
    void appendSortKey(std::u16string_view text, std::string& keys);

    // The text with letter case folded: texts that differ only in letter case
    // fold alike.
    std::u16string foldCase(std::u16string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vq
