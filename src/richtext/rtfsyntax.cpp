#include "richtext/rtfsyntax.h"

#include <algorithm>
#include <iterator>

namespace quillet {

char16_t rtfSymbolWordUnit(std::string_view word)
{
    static constexpr std::pair<std::string_view, char16_t> symbols[] = {
        {"emdash", 0x2014}, {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
        {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", u' '},
        {"enspace", u' '},  {"qmspace", u' '},
    };
    for (const auto &[name, unit] : symbols) {
        if (name == word)
            return unit;
    }
    return 0;
}

bool isSkippedRtfDestination(std::string_view word)
{
    // Sorted, so a lookup costs a few comparisons: it runs for most control words.
    static constexpr std::string_view words[] = {
        "annotation", "atnid",      "author",     "buptim",       "colorschememapping",
        "comment",    "company",    "creatim",    "datastore",    "doccomm",
        "docvar",     "falt",       "filetbl",    "fldinst",      "footer",
        "footerf",    "footerl",    "footerr",    "footnote",     "ftncn",
        "ftnsep",     "ftnsepc",    "header",     "headerf",      "headerl",
        "headerr",    "info",       "keywords",   "latentstyles", "listoverridetable",
        "listtable",  "nonshppict", "objdata",    "object",       "operator",
        "panose",     "pict",       "pntext",     "pntxta",       "pntxtb",
        "printim",    "private",    "revtbl",     "revtim",       "rsidtbl",
        "shp",        "shpinst",    "stylesheet", "subject",      "tc",
        "template",   "themedata",  "title",      "txe",          "xe",
        "xmlnstbl",
    };
    static_assert(std::is_sorted(std::begin(words), std::end(words)));
    return std::binary_search(std::begin(words), std::end(words), word);
}

} // namespace quillet
