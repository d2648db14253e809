#include "tools/result_export.h"

#include "text/ansi.h"
#include "text/integer.h"
#include "text/text_file.h"

namespace vq {

namespace {

// Section headers of the file written by the save command, in code page 936:
// "[传真号码表]" and "[网址链接表]".
constexpr const char* kFaxSectionHeader = "[\xB4\xAB\xD5\xE6\xBA\xC5\xC2\xEB\xB1\xED]";
constexpr const char* kLinkSectionHeader = "[\xCD\xF8\xD6\xB7\xC1\xB4\xBD\xD3\xB1\xED]";

void writeItems(TextWriter& writer, const ResultList& list)
{
    for (const AnsiString& item : list.items())
        writer.writeLine(item);
}

} // namespace

void writeBothLists(const std::filesystem::path& path, ResultList& fax, ResultList& links)
{
    TextWriter writer(path);
    writer.writeLine(kFaxSectionHeader);
    writeItems(writer, fax);
    writer.writeLine("");
    writer.writeLine(kLinkSectionHeader);
    writeItems(writer, links);
    writer.commit();
    fax.markSaved();
    links.markSaved();
}

void writeList(const std::filesystem::path& path, ResultList& list)
{
    TextWriter writer(path);
    writeItems(writer, list);
    writer.commit();
    list.markSaved();
}

void writeRows(const std::filesystem::path& path, const ResultList& list, const std::vector<size_t>& rows)
{
    TextWriter writer(path);
    for (size_t r : rows)
        writer.writeLine(list.at(r));
    writer.commit();
}

void writeFailedLines(const std::filesystem::path& path, const std::vector<PageRecord>& failed)
{
    TextWriter writer(path);
    for (const PageRecord& r : failed)
        writer.writeLine(intToStr(r.line) + "\t" + utf8ToAnsi(outcomeText(r.outcome)) + "\t" + r.address);
    writer.commit();
}

} // namespace vq
