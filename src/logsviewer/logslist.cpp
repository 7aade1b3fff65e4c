#include "logsviewer/logslist.h"

#include "core/support.h"
#include "logsviewer/logfiles.h"

#include <algorithm>

namespace quillet {

using namespace Qt::StringLiterals;

LogsList arrangeLogNames(QStringList collection, bool sort, bool descending)
{
    if (sort)
        sortLogNames(collection);
    LogsList list;
    if (descending)
        std::reverse(collection.begin(), collection.end());
    if (!collection.isEmpty())
        list.selected = descending ? 0 : static_cast<int>(collection.size() - 1);
    list.names = std::move(collection);
    return list;
}

LogsList buildLogsList(const QString &folder, bool sort, bool descending)
{
    QStringList collection;
    double total = 0;
    if (Result<QStringList> names = listNormalFiles(folder, u".RTF"_s); names) {
        collection = std::move(names).value();
        for (const QString &name : std::as_const(collection)) {
            if (const Result<double> size = fileSize(joinPath(folder, name)); size)
                total += size.value();
        }
    }
    LogsList list = arrangeLogNames(std::move(collection), sort, descending);
    list.totalSize = total;
    return list;
}

void sortLogNames(QStringList &names)
{
    // Case-insensitive first, so "x.rtf" and "x.RTF" stay together; exact text
    // breaks ties so the order never depends on the order given.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
}

} // namespace quillet
