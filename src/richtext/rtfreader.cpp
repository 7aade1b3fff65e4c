#include "richtext/rtfreader.h"

#include "richtext/rtfsyntax.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>

namespace quillet {

namespace {

// Links look as links do on this desktop: its palette's link colour, else blue.
QColor linkColour()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QGuiApplication::palette().color(QPalette::Link);
    return QColor(Qt::blue);
}

// Builds the document from what the walker finds, a run at a time.
class DocumentBuilder final : public RtfSink
{
public:
    DocumentBuilder(const QByteArray &rtf, QTextDocument *document)
        : m_walker(rtf, *this), m_cursor(document)
    {}

    Status build();

private:
    void insertRun(const QString &text, const RtfCharState &chars) override;
    void endParagraph(Qt::Alignment alignment, const RtfCharState &chars) override;
    void setAlignment(Qt::Alignment alignment);
    QTextCharFormat formatOf(const RtfCharState &chars) const;

    RtfWalker m_walker;
    QTextCursor m_cursor;
    QColor m_linkColour = linkColour();
};

Status DocumentBuilder::build()
{
    if (Status walked = m_walker.walk(); !walked)
        return walked;
    setAlignment(m_walker.lastAlignment());
    return {};
}

void DocumentBuilder::insertRun(const QString &text, const RtfCharState &chars)
{
    m_cursor.insertText(text, formatOf(chars));
}

void DocumentBuilder::endParagraph(Qt::Alignment alignment, const RtfCharState &chars)
{
    setAlignment(alignment);
    m_cursor.insertBlock(QTextBlockFormat(), formatOf(chars));
}

void DocumentBuilder::setAlignment(Qt::Alignment alignment)
{
    QTextBlockFormat block = m_cursor.blockFormat();
    block.setAlignment(alignment);
    m_cursor.setBlockFormat(block);
}

QTextCharFormat DocumentBuilder::formatOf(const RtfCharState &chars) const
{
    QTextCharFormat format;
    format.setFontPointSize(chars.halfPoints / 2.0);
    format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
    if (chars.italic)
        format.setFontItalic(true);
    if (chars.underline)
        format.setFontUnderline(true);
    if (const QColor colour = m_walker.colour(chars.colour); colour.isValid())
        format.setForeground(colour);
    if (const QString name = m_walker.fontName(chars.font); !name.isEmpty())
        format.setFontFamilies({name});
    if (chars.link > 0) {
        // Underlined, in its own colour or the link colour.
        format.setAnchor(true);
        format.setAnchorHref(m_walker.link(chars.link).toString(QUrl::FullyEncoded));
        format.setFontUnderline(true);
        if (!format.hasProperty(QTextFormat::ForegroundBrush))
            format.setForeground(m_linkColour);
    }
    return format;
}

} // namespace

Status readRtf(const QByteArray &rtf, QTextDocument *document)
{
    document->clear();
    // One edit without undo history: a long log loads several times faster, and
    // its reading cannot be undone piece by piece anyway.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor(document).beginEditBlock();
    Status status = DocumentBuilder(rtf, document).build();
    QTextCursor(document).endEditBlock();
    if (!status)
        document->clear();
    document->setUndoRedoEnabled(undo);
    return status;
}

} // namespace quillet
