#include "richtext/rtfsyntax.h"

#include <algorithm>
#include <iterator>

namespace quillet {

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
