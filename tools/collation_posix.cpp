// The merge tool's collation through ICU.
#include "tools/collation.h"

#include "text/errors.h"
#include "tools/merge.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vq {

struct Collation::Impl {
    UCollator* collator = nullptr;
    std::vector<uint8_t> key = std::vector<uint8_t>(512);
    ~Impl() { ucol_close(collator); }
};

// A collator that ignores letter case: secondary strength keeps base letters and
// accents apart but drops the tertiary (case, width) differences. ICU answers
// "zh_CN" with its "zh" data and a fallback warning, which is fine.
Collation::Collation(const std::string& locale) : impl_(std::make_unique<Impl>())
{
    UErrorCode status = U_ZERO_ERROR;
    impl_->collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status) || !impl_->collator)
        throw Exception("Cannot open the collation for locale " + locale + ": " + u_errorName(status));
    ucol_setStrength(impl_->collator, UCOL_SECONDARY);
}

Collation::~Collation() = default;

void Collation::appendSortKey(std::u16string_view text, std::string& keys)
{
    std::vector<uint8_t>& key = impl_->key;
    const auto* chars = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t n = ucol_getSortKey(impl_->collator, chars, length, key.data(), static_cast<int32_t>(key.size()));
    if (n > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<size_t>(n));
        n = ucol_getSortKey(impl_->collator, chars, length, key.data(), n);
    }
    if (n <= 0)
        throw Exception("Cannot make the collation key of an entry");
    keys.append(reinterpret_cast<const char*>(key.data()), static_cast<size_t>(n));
}

// Full Unicode case folding.
std::u16string Collation::foldCase(std::u16string_view text) const
{
    std::u16string folded(text.size() + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(folded.data()), static_cast<int32_t>(folded.size()),
                              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                              U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        folded.resize(static_cast<size_t>(n));
        status = U_ZERO_ERROR;
        n = u_strFoldCase(reinterpret_cast<UChar*>(folded.data()), n, reinterpret_cast<const UChar*>(text.data()),
                          static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw Exception(std::string("Cannot fold the letter case of an entry: ") + u_errorName(status));
    folded.resize(static_cast<size_t>(n));
    return folded;
}

std::string userCollationLocale()
{
    const char* fallback = "zh_CN";
    std::string name;
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            name = v;
            break;
        }
    }
    if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0)
        return fallback;

    // "de_DE.UTF-8@euro" -> "de_DE_EURO" and the like.
    char canonical[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_canonicalize(name.c_str(), canonical, sizeof canonical, &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING)
        return fallback;
    char language[ULOC_LANG_CAPACITY] = {};
    status = U_ZERO_ERROR;
    uloc_getLanguage(canonical, language, sizeof language, &status);
    if (U_FAILURE(status) || !*language)
        return fallback;
    const int32_t count = uloc_countAvailable();
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp(uloc_getAvailable(i), language) == 0)
            return canonical;
    }
    return fallback;
}

} // namespace vq
