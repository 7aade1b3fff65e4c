#pragma once

#include <QString>

class QWidget;

// What the views do with a file that came with a message, from a click on its
// line or its context menu. The file came from another computer: it is opened
// only when it cannot run anything, otherwise it is shown in its folder.

namespace quillet {

// Opens the file with the desktop's handler, or shows it in its folder when it
// mightRun. A missing file is reported in a box.
void openFile(QWidget *parent, const QString &path);
void showFileInFolder(QWidget *parent, const QString &path);
// Asks where to, then copies the file there, replacing the chosen file only
// once the copy is whole. The copy runs off the event loop.
void saveFileCopy(QWidget *parent, const QString &path);

} // namespace quillet
