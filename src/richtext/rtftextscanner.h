#pragma once

#include "core/error.h"
#include "core/links.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace quillet {

// The plain text of an RTF document without building a document: exactly what
// readRtf followed by QTextDocument::toPlainText() gives (paragraphs separated by
// '\n', \line as '\n', no-break spaces as blanks), at a fraction of the cost, so
// that a whole collection of logs can be searched. Refuses the same input as
// readRtf with the same errors. A position in the text is the position of that
// character in the document readRtf builds.
class RtfTextScanner final
{
public:
    struct TextAndLinks
    {
        QString text;
        QList<Link> links; // the hyperlink fields readRtf makes anchors of, in text order
    };

    static Result<QString> plainText(QByteArrayView rtf);
    static Result<TextAndLinks> textAndLinks(QByteArrayView rtf);
};

} // namespace quillet
