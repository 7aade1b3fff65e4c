#include "chatwindow/conversationview.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

Qt::Alignment alignmentOf(int alignment)
{
    switch (alignment) {
    case 1:
        return Qt::AlignRight;
    case 2:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

} // namespace

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

void appendText(QTextEdit *view, const QString &text, int size, bool bold, const QColor &colour,
                int alignment)
{
    // A cursor of the document rather than the view's own: setting the view's
    // cursor for every run would lay the view out each time.
    QTextCursor cursor(view->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setFontPointSize(size);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(colour);
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(alignmentOf(alignment));
    cursor.setBlockFormat(block);
    // CR LF, LF and CR each become one paragraph break.
    cursor.insertText(text, format);
}

void appendLine(QTextEdit *view, const QString &text, int size, bool bold, const QColor &colour,
                int alignment)
{
    appendText(view, text + u"\r\n"_s, size, bold, colour, alignment);
}

void appendSpacer(QTextEdit *view)
{
    appendLine(view, u" "_s, 3, false, Qt::black, 0);
}

} // namespace quillet
