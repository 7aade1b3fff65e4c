#include "platform/fileattributes.h"

#include <cerrno>
#include <sys/xattr.h>

#include <QFile>

#include "core/support.h"

namespace quillet {

namespace {

constexpr char AttributeName[] = "user.DOSATTRIB";

} // namespace

quint32 parseDosAttributes(QByteArrayView value)
{
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X'))
        return 0;
    quint32 attributes = 0;
    for (qsizetype i = 2; i < value.size() && i < 10; ++i) {
        const int digit = hexDigit(value[i]);
        if (digit < 0)
            break;
        attributes = attributes << 4 | quint32(digit);
    }
    return attributes;
}

QByteArray formatDosAttributes(quint32 attributes)
{
    return "0x" + QByteArray::number(attributes, 16);
}

int readDosAttributes(const char *path, quint32 &attributes)
{
    attributes = 0;
    char buffer[256];
    ssize_t length = ::lgetxattr(path, AttributeName, buffer, sizeof buffer);
    if (length >= 0) {
        attributes = parseDosAttributes(QByteArrayView(buffer, length));
        return 0;
    }
    if (errno == ENODATA)
        return 0;
    if (errno != ERANGE)
        return errno;
    // A long value (Samba's full record): only its leading text matters.
    length = ::lgetxattr(path, AttributeName, nullptr, 0);
    if (length < 0)
        return errno;
    QByteArray value(length + 64, '\0');
    length = ::lgetxattr(path, AttributeName, value.data(), value.size());
    if (length < 0)
        return errno == ENODATA ? 0 : errno;
    attributes = parseDosAttributes(QByteArrayView(value.constData(), length));
    return 0;
}

int writeDosAttributes(const char *path, quint32 attributes)
{
    const QByteArray value = formatDosAttributes(attributes);
    if (::lsetxattr(path, AttributeName, value.constData(), value.size(), 0) != 0)
        return errno;
    return 0;
}

Result<quint32> dosAttributes(const QString &path)
{
    quint32 attributes = 0;
    if (const int error = readDosAttributes(QFile::encodeName(path).constData(), attributes))
        return Error::fromErrno(error);
    return attributes;
}

Status setDosAttributes(const QString &path, quint32 attributes)
{
    if (const int error = writeDosAttributes(QFile::encodeName(path).constData(), attributes))
        return Error::fromErrno(error);
    return {};
}

Status clearDosAttributes(const QString &path)
{
    if (::lremovexattr(QFile::encodeName(path).constData(), AttributeName) != 0 && errno != ENODATA)
        return Error::fromErrno(errno);
    return {};
}

} // namespace quillet
