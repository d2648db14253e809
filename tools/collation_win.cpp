// The merge tool's collation through the Windows locale API: LCMapStringEx sort
// keys with the ignore-case flag, the order CompareStringEx gives.
#include "tools/collation.h"

#include "text/ansi.h"
#include "text/errors.h"
#include "tools/merge.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace vq {
namespace {

const wchar_t* wide(std::u16string_view text)
{
    return reinterpret_cast<const wchar_t*>(text.data());
}

int checkedLength(size_t size)
{
    if (size > static_cast<size_t>(INT_MAX) / 4)
        throw Exception("Cannot make the collation key of an entry");
    return static_cast<int>(size);
}

} // namespace

struct Collation::Impl {
    std::wstring locale;
    std::vector<unsigned char> key = std::vector<unsigned char>(512);
};

Collation::Collation(const std::string& locale) : impl_(std::make_unique<Impl>())
{
    // Windows names locales with a hyphen: "zh_CN" is "zh-CN".
    for (char c : locale)
        impl_->locale.push_back(c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    if (!::IsValidLocaleName(impl_->locale.c_str()))
        throw Exception("Cannot open the collation for locale " + locale);
}

Collation::~Collation() = default;

void Collation::appendSortKey(std::u16string_view text, std::string& keys)
{
    // The empty text has the empty key, which sorts first.
    if (text.empty()) {
        keys.push_back('\0');
        return;
    }
    std::vector<unsigned char>& key = impl_->key;
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int length = checkedLength(text.size());
    // A sort key's size is in bytes, its last byte the NUL.
    int n = ::LCMapStringEx(impl_->locale.c_str(), flags, wide(text), length,
                            reinterpret_cast<LPWSTR>(key.data()), static_cast<int>(key.size()), nullptr, nullptr, 0);
    if (n == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        n = ::LCMapStringEx(impl_->locale.c_str(), flags, wide(text), length, nullptr, 0, nullptr, nullptr, 0);
        if (n > 0) {
            key.resize(static_cast<size_t>(n));
            n = ::LCMapStringEx(impl_->locale.c_str(), flags, wide(text), length,
                                reinterpret_cast<LPWSTR>(key.data()), n, nullptr, nullptr, 0);
        }
    }
    if (n <= 0)
        throw Exception("Cannot make the collation key of an entry");
    // Keep the one terminating NUL even if the system wrote a longer tail of them.
    size_t size = static_cast<size_t>(n);
    while (size > 0 && key[size - 1] == 0)
        --size;
    keys.append(reinterpret_cast<const char*>(key.data()), size);
    keys.push_back('\0');
}

std::u16string Collation::foldCase(std::u16string_view text) const
{
    if (text.empty())
        return {};
    const int length = checkedLength(text.size());
    // Lower case in the invariant locale: the same folding whatever the user's locale.
    const DWORD flags = LCMAP_LOWERCASE;
    const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, flags, wide(text), length, nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0)
        throw Exception("Cannot fold the letter case of an entry");
    std::u16string folded(static_cast<size_t>(n), u'\0');
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, flags, wide(text), length, reinterpret_cast<LPWSTR>(folded.data()), n,
                    nullptr, nullptr, 0);
    return folded;
}

std::string userCollationLocale()
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int n = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    if (n <= 1)
        return "zh-CN";
    std::string out;
    // Locale names are ASCII.
    for (int i = 0; i + 1 < n; ++i)
        out.push_back(static_cast<char>(name[i]));
    return out;
}

} // namespace vq
