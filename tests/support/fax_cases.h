// Lines of page text and the fax number each yields under the initial marker
// list ("传真：", "FAX：", "传真号："), shared by the tests of the extractor
// itself, of the batch command's "extract" and by the Qt-free check program.
#pragma once

#include "text/ansi.h"

#include <string>
#include <vector>

namespace vq::test {

struct FaxLineCase {
    const char* name;
    std::string line;     // code page 936
    const char* expected; // nullptr: the line yields nothing
};

inline std::vector<FaxLineCase> faxLineCases()
{
    const auto gbk = [](const char* utf8) { return utf8ToAnsi(utf8); };
    const char* const kNone = nullptr; // "yields nothing"

    return {
        // The plain forms.
        {"full-width colon marker", gbk("传真：0519-88888888"), "0519-88888888"},
        {"FAX with plus and spaces", gbk("FAX: +86-519-8888 8888"), "0519-88888888"},
        {"brackets", gbk("传真：(0519)88888888"), "0519-88888888"},
        {"space before colon", gbk("传真 : 0519-88888888"), kNone},
        {"lower-case fax", gbk("fax:01088888888"), "01088888888"},
        {"Fax full-width colon", gbk("Fax：0519-88888888"), "0519-88888888"},
        {"fAx full-width colon", gbk("fAx：0519-88888888"), "0519-88888888"},
        {"fax word and space", gbk("传真 0519-88888888"), "0519-88888888"},
        {"bare fax word", gbk("传真0519-88888888"), "0519-88888888"},
        {"ASCII colon", gbk("传真:0519-88888888"), "0519-88888888"},
        {"传真号码:", gbk("传真号码:0519-88888888"), "0519-88888888"},
        {"传真号码：", gbk("传真号码：0519-88888888"), "0519-88888888"},
        {"传真):", gbk("传真):0519-88888888"), "0519-88888888"},
        {"传真）：", gbk("传真）：0519-88888888"), "0519-88888888"},
        {"传真)：", gbk("传真)：0519-88888888"), "0519-88888888"},
        {"传真（ not handled", gbk("传真（0519）88888888"), kNone},
        {"no fax word", gbk("电话：0519-88888888"), kNone},
        {"text in front", gbk("地址：常州市 传真：0519-88888888"), "0519-88888888"},
        {"extension behind", gbk("传真：0519-88888888转8001"), "0519-88888888"},
        {"stops at a letter", gbk("传真：0519-8888x8888"), kNone},

        // Deleted spaces join the fax word or the marker first.
        {"space inside fax word", gbk("传 真：0519-88888888"), "0519-88888888"},
        {"ideographic space inside fax word", gbk("传　真：0519-88888888"), "0519-88888888"},
        {"ideographic space before colon", gbk("传真　：0519-88888888"), "0519-88888888"},
        {"spaced F a x", gbk("F a x : 0519 8888 8888"), "051988888888"},
        {"Fax without a colon", gbk("Fax 0519-88888888"), kNone},
        {"Fax, space, colon", gbk("Fax : 0519-88888888"), "0519-88888888"},
        {"spaces in the number", gbk("传真：0519 - 8888 8888"), "0519-88888888"},

        // Two fax words: only the first counts.
        {"two numbers", gbk("传真：0519-88888888 传真：021-66666666"), "0519-88888888"},
        {"first has none", gbk("传真：见下 传真：0519-88888888"), kNone},
        {"Fax first, 传真 second", gbk("Fax:021-66666666 传真：0519-88888888"), "021-66666666"},

        // Country prefixes, each tested once in order.
        {"0086-", gbk("传真：0086-519-88888888"), "0519-88888888"},
        {"0086", gbk("传真：0086519-88888888"), "0519-88888888"},
        {"086-", gbk("传真：086-519-88888888"), "0519-88888888"},
        {"086", gbk("传真：086519-88888888"), "0519-88888888"},
        {"86-", gbk("传真：86-519-88888888"), "0519-88888888"},
        {"86", gbk("传真：86519-88888888"), "0519-88888888"},
        {"+86 (519)", gbk("传真：+86 (519) 8888 8888"), "0519-88888888"},
        {"(0086)", gbk("传真：(0086)519-88888888"), "0519-88888888"},
        {"0086- then 86-", gbk("传真：0086-86-519-88888888"), "0519-88888888"},
        {"0086 then 86", gbk("传真：008686519-8888888"), "0519-8888888"},
        {"domestic 0 kept", gbk("传真：010-66666666"), "010-66666666"},

        // Brackets and hyphen runs.
        {"double brackets", gbk("传真：((0519))88888888"), "0519-88888888"},
        {"four hyphens", gbk("传真：0519----88888888"), "0519-88888888"},
        {"five hyphens leave two", gbk("传真：0519-----88888888"), "0519--88888888"},
        {"trailing hyphen", gbk("传真：0519-88888888-"), "0519-88888888"},
        {"trailing bracket", gbk("传真：0519-(88888888)"), "0519-88888888"},
        {"five trailing hyphens", gbk("传真：0519-88888888-----"), "0519-88888888-"},
        {"five leading hyphens", gbk("传真：-----0519-88888888"), "0-0519-88888888"},
        {"no leading zero", gbk("传真：519-88888888"), "0519-88888888"},
        {"pluses only removed", gbk("传真：++0519++88888888"), "051988888888"},

        // Length bound 11..29.
        {"length 9", gbk("传真：0519-8888"), kNone},
        {"length 10", gbk("传真：0519-88888"), kNone},
        {"length 11", gbk("传真：0519-888888"), "0519-888888"},
        {"length 10 after 0 in front", gbk("传真：519-88888"), kNone},
        {"length 11 after 0 in front", gbk("传真：519-888888"), "0519-888888"},
        {"length 29", gbk("传真：01234567890123456789012345678x"), "01234567890123456789012345678"},
        {"length 30", gbk("传真：012345678901234567890123456789"), kNone},
        {"empty number", gbk("传真："), kNone},

        // At most 255 bytes behind the fax word are read.
        {"255 bytes reach the whole number",
         gbk("传真：") + std::string(242, '+') + "0519-88888888", "0519-88888888"},
        {"cut one byte short", gbk("传真：") + std::string(243, '+') + "0519-88888888", "0519-8888888"},
        {"cut leaves too short", gbk("传真：") + std::string(246, '+') + "0519-88888888", kNone},

        // Double-byte characters: replacements match only on character starts, the
        // fax word search is a plain byte search.
        {"Fax: behind a lead byte", std::string("\x81" "Fax:0519-88888888"), kNone},
        {"Fax: behind a whole character", std::string("\x81\x40" "Fax:0519-88888888"), "0519-88888888"},
        {"fax word across characters", std::string("\xB0\xB4\xAB\xD5\xE6" "0519-88888888"), "0519-88888888"},
        {"marker across characters", std::string("\xB0\xB4\xAB\xD5\xE6\xA3\xBA" "0519-88888888"), kNone},
    };
}

} // namespace vq::test
