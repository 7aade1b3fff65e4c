#pragma once

#include "core/error.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace quillet {

// Opens folders, or a file's folder, in the desktop's file manager. Tests replace the opener to
// observe the call or to make it fail, as they answer boxes.
class Shell final
{
public:
    // Answers whether the desktop accepted the request.
    using Opener = std::function<bool(const QUrl &)>;

    // Fails without asking the desktop when `folder` is not an existing folder,
    // so that a missing folder is reported instead of opening something else.
    static Status openFolder(const QString &folder);
    // Shows the file selected in the desktop's file manager (its FileManager1
    // service); without one, opens the file's folder. Tests' opener gets the
    // file's URL.
    static Status showInFolder(const QString &file);

    static void setOpener(Opener opener);
    static void resetOpener();
};

} // namespace quillet
