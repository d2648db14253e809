#include "tools/merge.h"

#include "text/errors.h"
#include "text/text_file.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>

namespace vq {

namespace {

const char* const kListFilter = "Text files(*.txt)|*.txt|All files(*.*)|*.*";

struct CollatorCloser {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

// A collator that ignores letter case: secondary strength keeps base letters and
// accents apart but drops the tertiary (case, width) differences. ICU answers
// "zh_CN" with its "zh" data and a fallback warning, which is fine.
CollatorPtr openCollator(const std::string& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    CollatorPtr collator(ucol_open(locale.c_str(), &status));
    if (U_FAILURE(status) || !collator)
        throw Exception("Cannot open the collation for locale " + locale + ": " + u_errorName(status));
    ucol_setStrength(collator.get(), UCOL_SECONDARY);
    return collator;
}

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

bool equalIgnoringCase(const std::u16string& a, const std::u16string& b)
{
    UErrorCode status = U_ZERO_ERROR;
    const int32_t r = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                       reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                                       U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) && r == 0;
}

struct Keyed {
    size_t key;   // offset of the sort key (NUL-terminated) in the key arena
    size_t index; // position of the entry in the input order
};

} // namespace

std::vector<AnsiString> distinctSorted(std::vector<AnsiString> entries, const std::string& locale)
{
    CollatorPtr collator = openCollator(locale);

    // Byte-identical entries are equal under any collation: drop the later copies
    // before the comparatively costly sort keys are made.
    std::vector<size_t> firsts;
    firsts.reserve(entries.size());
    {
        std::unordered_set<std::string_view> seen;
        seen.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            if (seen.insert(entries[i]).second)
                firsts.push_back(i);
    }

    // One sort key per distinct entry, all in one arena.
    std::string arena;
    std::vector<Keyed> keyed;
    keyed.reserve(firsts.size());
    std::u16string wide;
    std::vector<uint8_t> key(512);
    for (size_t i : firsts) {
        toUtf16(entries[i], wide);
        const auto* text = reinterpret_cast<const UChar*>(wide.data());
        const auto length = static_cast<int32_t>(wide.size());
        int32_t n = ucol_getSortKey(collator.get(), text, length, key.data(), static_cast<int32_t>(key.size()));
        if (n > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<size_t>(n));
            n = ucol_getSortKey(collator.get(), text, length, key.data(), n);
        }
        if (n <= 0)
            throw Exception("Cannot make the collation key of an entry");
        keyed.push_back({arena.size(), i});
        // The key ends with its NUL byte and holds no other, so strcmp compares keys.
        arena.append(reinterpret_cast<const char*>(key.data()), static_cast<size_t>(n));
    }

    const char* base = arena.data();
    std::sort(keyed.begin(), keyed.end(), [base](const Keyed& a, const Keyed& b) {
        const int c = std::strcmp(base + a.key, base + b.key);
        return c < 0 || (c == 0 && a.index < b.index);
    });

    // Within a run of equal keys (in input order) an entry is dropped when it
    // matches a kept one apart from letter case. The fold check keeps entries
    // apart that the collator only finds equal for other reasons (full-width
    // letters, ignorable control characters).
    std::vector<AnsiString> result;
    result.reserve(keyed.size());
    std::vector<std::u16string> kept;
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
                if (std::none_of(kept.begin(), kept.end(),
                                 [&](const std::u16string& k) { return equalIgnoringCase(k, wide); })) {
                    kept.push_back(wide);
                    result.push_back(std::move(entries[keyed[j].index]));
                }
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

MergeTool::MergeTool(MainView& view, Prompts& prompts, std::filesystem::path programDir)
    : view_(view), prompts_(prompts), programDir_(std::move(programDir))
{
}

void MergeTool::SpeedButton11Click()
{
    FileDialogSpec openSpec;
    openSpec.title = "选择一个或多个待合并去重的文件";
    openSpec.filter = kListFilter;
    openSpec.defaultExt = "txt";
    openSpec.initialDir = programDir_;
    const std::vector<std::filesystem::path> inputs = prompts_.openFiles(openSpec);
    if (inputs.empty())
        return;

    FileDialogSpec saveSpec;
    saveSpec.title = "合并去重复后的数据文件保存为";
    saveSpec.filter = kListFilter;
    saveSpec.defaultExt = "txt";
    saveSpec.initialDir = programDir_;
    saveSpec.confirmOverwrite = true;
    const std::optional<std::filesystem::path> output = prompts_.saveFile(saveSpec);
    if (!output)
        return;

    const std::string panelBefore = view_.panel(6);
    view_.setBusyCursor(true);
    view_.setPanel(6, "数据正处理中...");
    view_.repaint();
    try {
        mergeFiles(inputs, *output, userCollationLocale());
    } catch (...) {
        // No success message; the panel gets its text back and the error goes on
        // to the default handler.
        view_.setBusyCursor(false);
        view_.setPanel(6, panelBefore);
        throw;
    }
    view_.setBusyCursor(false);
    view_.setPanel(6, "文件合并去重整理完毕！");
}

} // namespace vq
