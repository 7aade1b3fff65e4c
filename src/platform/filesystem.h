#pragma once

#include <QString>

namespace quillet {

// Whether `path` lies on a file system whose changes made by other computers
// never reach inotify: NFS, CIFS/SMB, FUSE mounts and other network file
// systems. A path that cannot be examined counts as local.
bool isNetworkFileSystem(const QString &path);

#ifdef QUILLET_TEST_HOOKS
// Makes every path count as a network file system (also QUILLET_TEST_NETWORK_FS=1).
void setForcedNetworkFileSystemForTests(bool forced);
#endif

} // namespace quillet
