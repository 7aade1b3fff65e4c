#pragma once

#include <QString>
#include <QStringList>

namespace quillet {

// What the logs viewer lists for one logs folder.
struct LogsList
{
    QStringList names;    // file names in the order the list shows them
    int selected = -1;    // the row to select: the last name in the collection's order
    double totalSize = 0; // bytes of every listed log
};

// The names of a logs collection in list order: sorted ascending when `sort`,
// then reversed when `descending`. The row to select is always the one of the
// collection's last name, so with sorting on it is the newest log.
LogsList arrangeLogNames(QStringList collection, bool sort, bool descending);

// Lists the normal "*.RTF" files of `folder` (letter case ignored) in the file
// system's order, adds up their sizes and arranges them. Every error is
// skipped: a missing or unreadable folder gives an empty list, a file whose
// size cannot be read is still listed.
LogsList buildLogsList(const QString &folder, bool sort, bool descending);

// Ascending order of log names, character by character with letter case
// ignored: names made from the fixed-width local time of a log's first
// message ("yyyy-mm-dd hh-nn-ss.RTF") sort by that time.
void sortLogNames(QStringList &names);

} // namespace quillet
