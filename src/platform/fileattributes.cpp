#include "platform/fileattributes.h"

#include <cctype>
#include <cerrno>
#include <sys/xattr.h>

#include <QFile>

namespace quillet {

namespace {

constexpr char AttributeName[] = "user.DOSATTRIB";

} // namespace

quint32 parseDosAttributes(QByteArrayView value)
{
    if (value.size() < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X'))
        return 0;
    // At most eight hex digits: what follows them is not part of the number.
    qsizetype end = 2;
    while (end < value.size() && end < 10 && std::isxdigit(static_cast<unsigned char>(value[end])))
        ++end;
    return value.sliced(2, end - 2).toByteArray().toUInt(nullptr, 16);
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

int setDosAttributes(const QString &path, quint32 attributes)
{
    return writeDosAttributes(QFile::encodeName(path).constData(), attributes);
}

int clearDosAttributes(const QString &path)
{
    if (::lremovexattr(QFile::encodeName(path).constData(), AttributeName) != 0 && errno != ENODATA)
        return errno;
    return 0;
}

} // namespace quillet
