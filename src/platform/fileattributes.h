#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace quillet {

// DOS file attributes, kept as Linux file servers and compatibility layers keep
// them: hexadecimal text ("0x2") in the extended attribute user.DOSATTRIB.
namespace DosAttribute {
enum : quint32
{
    ReadOnly = 0x1,
    Hidden = 0x2,
    System = 0x4,
    Archive = 0x20,
};
} // namespace DosAttribute

// The leading "0x<hex>" of a stored value (Samba follows it with a binary
// block); anything unreadable counts as no attribute.
quint32 parseDosAttributes(QByteArrayView value);
QByteArray formatDosAttributes(quint32 attributes);

// Links are never followed; each call returns 0 or an errno.
// A file without the extended attribute has 0.
int readDosAttributes(const char *path, quint32 &attributes);
// Replaces all attributes: hidden alone is stored as the three bytes "0x2".
int writeDosAttributes(const char *path, quint32 attributes);
int setDosAttributes(const QString &path, quint32 attributes);
// Removes the attribute, as a person making a file visible again does.
int clearDosAttributes(const QString &path);

} // namespace quillet
