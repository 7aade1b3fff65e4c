#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <sys/xattr.h>

// The attribute text a shown message file carries ("0x2"), or empty.
inline QByteArray dosAttributes(const QString &path)
{
    char value[64] = {};
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value, sizeof value);
    return size > 0 ? QByteArray(value, size) : QByteArray();
}

// A message file as another participant's copy writes it: ten NUL-joined
// fields, named by its UTC send time so that name order is send order.
inline QString writeForeignMessage(const QString &folder, int hour, int minute, int second,
                                   const QString &sender, const QString &text,
                                   const QString &guid = QStringLiteral("{OTHER}"))
{
    const QStringList fields = {QStringLiteral("2026"),
                                QStringLiteral("12"),
                                QStringLiteral("5"),
                                QString::number(hour),
                                QString::number(minute),
                                QString::number(second),
                                QStringLiteral("0"),
                                sender,
                                text,
                                guid};
    const QString name = QStringLiteral("2026-12-05 %1-%2-%3-00-000 %4.QLIM")
                             .arg(hour, 2, 10, QLatin1Char('0'))
                             .arg(minute, 2, 10, QLatin1Char('0'))
                             .arg(second, 2, 10, QLatin1Char('0'))
                             .arg(QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(fields.join(QChar(0)).toUtf8());
    return file.fileName();
}
