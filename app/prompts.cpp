#include "app/prompts.h"

#include "text/errors.h"

namespace vq {

namespace {
// The last code point of UTF-8 text (0 when empty).
char32_t lastCodePoint(const std::string& s)
{
    if (s.empty())
        return 0;
    size_t i = s.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        --i;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + i);
    const size_t n = s.size() - i;
    if (p[0] < 0x80 || n == 1)
        return p[0];
    char32_t cp = p[0] & (p[0] >= 0xF0 ? 0x07 : p[0] >= 0xE0 ? 0x0F : 0x1F);
    for (size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (p[k] & 0x3F);
    return cp;
}
} // namespace

FileDialogSpec textFileDialog(const std::string& title, const std::filesystem::path& initialDir,
                              bool confirmOverwrite)
{
    FileDialogSpec dialog;
    dialog.title = title;
    dialog.filter = kTextFileFilter;
    dialog.defaultExt = "txt";
    dialog.initialDir = initialDir;
    dialog.confirmOverwrite = confirmOverwrite;
    return dialog;
}

std::string defaultHandlerText(const std::exception& e)
{
    std::string text = e.what();
    if (!text.empty() && lastCodePoint(text) > U'.')
        text += '.';
    return text;
}

void reportException(Prompts& prompts, const std::exception& e)
{
    if (const auto* io = dynamic_cast<const EInOutError*>(&e); io && !io->path().empty())
        prompts.fileError(defaultHandlerText(e), io->path());
    else
        prompts.error(defaultHandlerText(e));
}

} // namespace vq
