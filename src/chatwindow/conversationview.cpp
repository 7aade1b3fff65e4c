#include "chatwindow/conversationview.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

namespace quillet {

ScrollKeeper::ScrollKeeper(QTextEdit *view) : m_view(view)
{
    const QScrollBar *bar = view->verticalScrollBar();
    m_keepStill = bar->value() < bar->maximum();
    if (!m_keepStill)
        return;
    m_vertical = bar->value();
    m_horizontal = view->horizontalScrollBar()->value();
    // The runs and the scroll-back then show in one step, without flicker.
    view->setUpdatesEnabled(false);
}

ScrollKeeper::~ScrollKeeper()
{
    // The runs went in through a cursor of their own; the view's insertion point
    // follows insertions at the end by itself and needs setting (which lays the
    // view out) only when it was moved or holds a selection.
    const QTextCursor current = m_view->textCursor();
    if (current.hasSelection() || !current.atEnd())
        moveToEnd(m_view);
    QScrollBar *bar = m_view->verticalScrollBar();
    if (!m_keepStill) {
        bar->setValue(bar->maximum());
        return;
    }
    bar->setValue(m_vertical);
    m_view->horizontalScrollBar()->setValue(m_horizontal);
    m_view->setUpdatesEnabled(true);
}

void moveToEnd(QTextEdit *view)
{
    QTextCursor cursor = view->textCursor();
    cursor.movePosition(QTextCursor::End);
    view->setTextCursor(cursor);
}

QTextCharFormat runFormat(const TextRun &run)
{
    QTextCharFormat format;
    format.setFontPointSize(run.points);
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setForeground(run.colour);
    if (!run.link.isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(QString::fromLatin1(run.link.toEncoded()));
        format.setFontUnderline(true);
    }
    return format;
}

void insertRun(QTextCursor &cursor, const TextRun &run)
{
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(run.alignment);
    cursor.setBlockFormat(block);
    // CR LF, LF and CR each become one paragraph break.
    cursor.insertText(run.text, runFormat(run));
}

void appendRun(QTextDocument *document, const TextRun &run)
{
    // A cursor of the document rather than the view's own: setting the view's
    // cursor for every run would lay the view out each time.
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    insertRun(cursor, run);
}

void insertRunsAtStart(QTextEdit *view, const QList<TextRun> &runs)
{
    QTextDocument above;
    above.setDefaultFont(view->document()->defaultFont());
    for (const TextRun &run : runs)
        appendRun(&above, run);
    const ScrollKeeper scroll(view);
    QTextCursor(view->document()).insertFragment(QTextDocumentFragment(&above));
}

} // namespace quillet
