#pragma once

#include "richtext/rtfwriter.h"

#include <QList>
#include <QtGlobal>

class QTextCharFormat;
class QTextCursor;
class QTextDocument;
class QTextEdit;

// Putting formatted runs into the conversation view.

namespace quillet {

// The sizes of a message's header and of its text, in points.
constexpr int MessageHeaderPoints = 8;
constexpr int MessageTextPoints = 9;

// Held around one rendered message, or a run of them: while the end of the view
// is in sight the view follows the new text; scrolled up, it keeps exactly still.
// When it goes it also leaves the view's insertion point at the end, unselected.
class ScrollKeeper final
{
public:
    explicit ScrollKeeper(QTextEdit *view);
    ~ScrollKeeper();
    Q_DISABLE_COPY_MOVE(ScrollKeeper)

private:
    QTextEdit *m_view;
    bool m_keepStill = false;
    int m_vertical = 0;
    int m_horizontal = 0;
};

// Puts the view's insertion point at the end, with nothing selected.
void moveToEnd(QTextEdit *view);
// The character format of a run: size, weight, colour; a link's anchor, underlined.
QTextCharFormat runFormat(const TextRun &run);
// Inserts a run at the cursor, setting the alignment of the paragraph it starts in.
void insertRun(QTextCursor &cursor, const TextRun &run);
// Appends a run at the end of the document; a linked run becomes an anchor,
// underlined, that the view opens on a click.
void appendRun(QTextDocument *document, const TextRun &run);
// Puts the runs into the view at its start, above what it holds.
void insertRunsAtStart(QTextEdit *view, const QList<TextRun> &runs);

} // namespace quillet
