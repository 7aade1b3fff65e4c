#pragma once

#include "core/error.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace quillet {

// Opens folders in the desktop's file manager. Tests replace the opener to
// observe the call or to make it fail, as they answer boxes.
class Shell final
{
public:
    // Answers whether the desktop accepted the request.
    using Opener = std::function<bool(const QUrl &)>;

    // Fails without asking the desktop when `folder` is not an existing folder,
    // so that a missing folder is reported instead of opening something else.
    static Status openFolder(const QString &folder);

    static void setOpener(Opener opener);
    static void resetOpener();
};

} // namespace quillet
