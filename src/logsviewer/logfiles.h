#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>

namespace quillet {

// The names of the normal files of `folder` whose name ends in `extension`
// (letter case ignored, e.g. ".RTF"), in the order the file system gives
// them. Normal files are regular files that are neither hidden (a leading "."
// or the hidden DOS attribute) nor system files; folders, symbolic links,
// devices and pipes are skipped. Fails only when the folder cannot be read.
Result<QStringList> listNormalFiles(const QString &folder, const QString &extension);

} // namespace quillet
