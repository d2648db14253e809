#include "search/url_list.h"

#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"

#include <utility>

namespace vq {

UrlListSource::UrlListSource(MainView& view, Prompts& prompts, int32_t& urlTotal,
                             std::filesystem::path programDir)
    : view_(view), prompts_(prompts), urlTotal_(urlTotal), programDir_(std::move(programDir))
{
}

void UrlListSource::N1Click()
{
    FileDialogSpec dialogSpec;
    dialogSpec.title = "选择网址列表文件";
    dialogSpec.filter = kTextFileFilter;
    dialogSpec.defaultExt = "txt";
    dialogSpec.initialDir = programDir_;

    view_.repaint();
    const std::optional<std::filesystem::path> chosen = prompts_.openFile(dialogSpec);
    if (!chosen)
        return;

    // The path is kept as ANSI text (Edit5, the search-state file). A name that
    // code page 936 cannot write would come back as a different file, so it is
    // refused before anything changes.
    AnsiString path;
    try {
        path = pathToAnsi(*chosen);
    } catch (const EPathEncodingError& e) {
        prompts_.information(std::string(e.what()) + "\n请将文件改名或移到其他文件夹后再选择。");
        return;
    }

    // Kept exactly as chosen: file names are case-sensitive here.
    view_.setListPath(path);

    urlTotal_ = 0;
    UrlList::countLines(ansiToPath(path), urlTotal_);
    view_.setPanel(kPanelUrlTotal, intToStr(urlTotal_));
}

void UrlList::open(const AnsiString& path)
{
    reader_.open(ansiToPath(path));
}

bool UrlList::isOpen() const
{
    return reader_.isOpen();
}

bool UrlList::atEnd()
{
    return !reader_.isOpen() || reader_.eof();
}

AnsiString UrlList::readAddress()
{
    return cutAtSpace(readLine());
}

AnsiString UrlList::readLine()
{
    return reader_.readLine();
}

LineSource::Next UrlList::next(SourceLine& line)
{
    if (atEnd())
        return Next::End;
    line = SourceLine{};
    line.address = readAddress();
    return Next::Line;
}

void UrlList::close()
{
    if (reader_.isOpen())
        reader_.close();
}

AnsiString UrlList::cutAtSpace(const AnsiString& line)
{
    const auto p = line.find(' ');
    return p == AnsiString::npos ? line : line.substr(0, p);
}

void UrlList::countLines(const std::filesystem::path& path, int32_t& total)
{
    TextReader reader(path);
    while (!reader.eof()) {
        reader.readLine();
        ++total;
    }
    reader.close();
}

} // namespace vq
