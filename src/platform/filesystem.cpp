#include "platform/filesystem.h"

#include <linux/magic.h>
#include <sys/statfs.h>

#include <QFile>

namespace quillet {

namespace {

#ifdef QUILLET_TEST_HOOKS
bool forcedNetwork = qEnvironmentVariableIntValue("QUILLET_TEST_NETWORK_FS") == 1;
#endif

// Magic numbers that linux/magic.h does not name on every kernel version.
constexpr unsigned long CifsMagic = 0xFF534D42;
constexpr unsigned long Smb2Magic = 0xFE534D42;
constexpr unsigned long CephMagic = 0x00C36400;
constexpr unsigned long AfsFsMagic = 0x6B414653;

} // namespace

bool isNetworkFileSystem(const QString &path)
{
#ifdef QUILLET_TEST_HOOKS
    if (forcedNetwork)
        return true;
#endif
    struct statfs info
    {
    };
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case V9FS_MAGIC:
    case CifsMagic:
    case Smb2Magic:
    case FUSE_SUPER_MAGIC:
    case CephMagic:
    case AfsFsMagic:
        return true;
    default:
        return false;
    }
}

#ifdef QUILLET_TEST_HOOKS
void setForcedNetworkFileSystemForTests(bool forced)
{
    forcedNetwork = forced;
}
#endif

} // namespace quillet
