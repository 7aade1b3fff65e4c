#pragma once

#include "error.h"

#include <QByteArrayView>
#include <QString>

// The plain text of an RTF document without building a document: exactly what
// ReadRtf followed by QTextDocument::toPlainText() gives (paragraphs separated by
// '\n', \line as '\n', no-break spaces as blanks), at a fraction of the cost, so
// that a whole collection of logs can be searched. Refuses the same input as
// ReadRtf with the same errors. A position in the text is the position of that
// character in the document ReadRtf builds.
class RtfTextScanner final
{
public:
    static Result<QString> plainText(QByteArrayView rtf);
};
