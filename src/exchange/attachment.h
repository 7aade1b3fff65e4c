#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "core/error.h"

// Files sent with a message. They lie in the exchange folder under
// Files/<the message's GUID>/ and are described by a record in the fields after
// the tenth (docs/attachments.md), which other computers wrote: every entry is
// checked before anything uses it.

namespace quillet {

struct Attachment
{
    QString path; // relative to the exchange folder: Files/<GUID>/<name>
    qint64 size = 0;
    QByteArray sha256; // 32 bytes
    QString type;      // MIME type
    Error error;       // number 0 when the entry is sound

    bool ok() const { return error.number == 0; }
    QString name() const;
};

// "Over 2 GiB" is refused; exactly 2 GiB is not.
constexpr qint64 MaxAttachmentSize = qint64(2) * 1024 * 1024 * 1024;
constexpr int MaxAttachments = 256;

// "Files/<GUID>", relative to the exchange folder.
QString attachmentFolder(const QString &messageGuid);

// The record: its header field and one field per file.
QStringList attachmentFields(const QList<Attachment> &attachments);
// Reads the record from the fields after the tenth. Fields that are no
// attachment record give no attachments; a broken record gives one entry that
// carries the error; otherwise one entry per file, each with its own error.
QList<Attachment> parseAttachmentFields(const QList<QStringView> &fields);

// 0, or the error code that refuses `name` as the last part of an attachment's path.
int checkAttachmentName(QStringView name);
// Syncthing's and Nextcloud's temporary files and the services' conflict copies.
bool isSyncServiceFile(QStringView name);

// What the text field holds without a caption: "Файл: <name> (<size>)" per
// file, one line each, so copies that know only ten fields show what was sent.
QString attachmentSummary(const QList<Attachment> &attachments);

} // namespace quillet
