#pragma once

#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextLayout>

// The words of a document that carry the spelling underline, in order.
inline QStringList markedWords(const QTextDocument &document)
{
    QStringList words;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            if (range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline &&
                range.format.underlineColor() == Qt::red)
                words.append(block.text().mid(range.start, range.length));
        }
    }
    return words;
}
