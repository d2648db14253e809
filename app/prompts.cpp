#include "app/prompts.h"

#include "text/errors.h"

namespace vq {


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
    return withFullStop(e.what());
}

void reportException(Prompts& prompts, const std::exception& e)
{
    if (const auto* io = dynamic_cast<const EInOutError*>(&e); io && !io->path().empty())
        prompts.fileError(defaultHandlerText(e), io->path());
    else
        prompts.error(defaultHandlerText(e));
}

} // namespace vq
