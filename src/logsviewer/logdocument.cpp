#include "logdocument.h"

#include "textfileio.h"

#include <QColor>
#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

Status LoadLogDocument(const QString &path, QTextDocument *document, const QFont &defaultFont)
{
    document->clear();
    document->setDefaultFont(defaultFont);
    Result<QByteArray> bytes = TextFileIO::ReadBytes(path, MaxLogFileSize);
    if (!bytes) {
        if (bytes.error().number == ErrorCode::FileTooLarge)
            return Error::make(ErrorCode::LogTooLarge);
        return bytes.error();
    }
    // The RTF reader joins here.
    return Error::make(ErrorCode::RtfMalformed);
}

void ShowLogError(QTextDocument *document, const Error &error, const QFont &font)
{
    document->clear();
    document->setDefaultFont(font);
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(QColor(255, 0, 0));
    format.setFontWeight(QFont::Bold);
    QTextCursor cursor(document);
    cursor.insertText(FormatLogError(error), format);
}

QString FormatLogError(const Error &error)
{
    return QStringLiteral("Код %1\n%2").arg(error.number).arg(error.description);
}
