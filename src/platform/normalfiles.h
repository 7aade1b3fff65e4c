#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>

namespace quillet {

// True when the file counts as hidden: its name begins with "." or its
// "user.DOSATTRIB" attribute holds the hidden (0x2) or system (0x4) bit.
bool isHiddenOrSystemFile(const QString &path);

// The names of the normal files of `folder` whose name ends in `extension`
// (letter case ignored, e.g. ".RTF"), in the order the file system gives
// them. Normal files are regular files that are neither hidden nor system
// files; folders, symbolic links, devices and pipes are skipped. Fails only
// when the folder itself cannot be read.
Result<QStringList> listNormalFiles(const QString &folder, const QString &extension);

} // namespace quillet
