#pragma once

#include "exchange/attachmentcheck.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTextCursor>
#include <QThreadPool>

class QTextEdit;

namespace quillet {

// Pictures with more pixels than this are shown as plain file lines: decoding
// them would take more memory than a thumbnail is worth.
constexpr qint64 MaxPicturePixels = 40'000'000;
constexpr int ThumbnailSide = 240;

// " (1,50 КБ)": the size after a file's name.
QString sizeSuffix(const Attachment &attachment);
// "name — reason" for a refused file; the reason alone when its name is not known.
QString refusalText(const QString &name, const Error &why);

// The thumbnail of a received PNG, JPEG, GIF, WebP or BMP picture below the
// exchange folder, at most `ThumbnailSide` pixels on its long side. The file is
// opened without following links and decoded within an allocation limit; null
// for any other file, one that does not decode, or one of more than
// MaxPicturePixels. Slow for large pictures: called off the event loop.
QImage decodeThumbnail(const QString &exchangeFolder, const QString &path);

// The lines of the files that came with messages, in the conversation view:
// one paragraph per file with its type's icon, name and size. Until the file is
// there whole the line says so; it then becomes a link to the file, with a
// thumbnail below it for a picture. Lines update by themselves as the sync
// service delivers, also when the view has grown above or below them.
class AttachmentLines final : public QObject
{
    Q_OBJECT

public:
    AttachmentLines(QTextEdit *view, const QString &exchangeFolder);
    ~AttachmentLines() override;

    // Appends the file's line at the end of the view (which must end in an
    // empty paragraph) and watches the file until it is whole or refused.
    void append(const Attachment &attachment);

    // The absolute path of a file the lines show.
    QString filePath(const Attachment &attachment) const;

signals:
    // A line changed: a file arrived, was refused, or its thumbnail is in.
    void lineUpdated(const QString &path);

private:
    struct Line
    {
        Attachment attachment;
        QList<QTextCursor> places; // each showing of the file
        AttachmentState state = AttachmentState::Missing;
        Error why;
        QImage thumbnail;
        bool decoding = false;
    };

    void stateChanged(const QString &path, AttachmentState state, const Error &why);
    void thumbnailDecoded(const QString &path, const QImage &thumbnail);
    void startDecoding(Line &line);
    void write(QTextCursor &cursor, const Line &line);
    void scheduleRewrite(const QString &path);
    void rewriteDirty();
    QString iconResource(const Attachment &attachment);

    QTextEdit *m_view;
    QString m_exchangeFolder;
    AttachmentChecker m_checker;
    QThreadPool m_decoder;
    QHash<QString, Line> m_lines;
    QStringList m_dirty; // lines to rewrite, in the order their files changed
};

} // namespace quillet
