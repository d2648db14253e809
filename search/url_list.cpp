#include "search/url_list.h"

#include "text/paths.h"

#include <utility>

namespace vq {

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
