#pragma once

#include "core/support.h"
#include "exchange/attachment.h"
#include "exchange/messagefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>

#include <utility>

// A message with files as another participant's copy sends it: the files in
// Files/<the message's GUID>/ of the exchange folder, then the message file that
// names them in its record. Returns the message file's path; empty on failure.
inline QString writeMessageWithFiles(const QString &folder, const QString &sender,
                                     const QString &caption,
                                     const QList<std::pair<QString, QByteArray>> &files,
                                     const QString &senderGuid = QStringLiteral("{OTHER}"))
{
    const QString messageGuid = quillet::newGuid();
    QList<quillet::Attachment> attachments;
    for (const auto &[name, bytes] : files) {
        const QString path = quillet::attachmentFolder(messageGuid) + QLatin1Char('/') + name;
        QDir().mkpath(folder + QLatin1Char('/') + quillet::attachmentFolder(messageGuid));
        QFile file(folder + QLatin1Char('/') + path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        attachments.append({path,
                            bytes.size(),
                            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256),
                            QMimeDatabase().mimeTypeForFileNameAndData(name, bytes).name(),
                            {}});
    }
    const auto written =
        quillet::writeMessageFile(folder, messageGuid, sender, caption, senderGuid, attachments);
    return written ? written.value() : QString();
}
