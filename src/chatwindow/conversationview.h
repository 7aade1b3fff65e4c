#pragma once

#include "richtext/rtfwriter.h"

#include <QList>
#include <QtGlobal>

class QTextDocument;
class QTextEdit;

// Putting formatted runs into the conversation view.

namespace quillet {

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
// Appends a run at the end of the document; a linked run becomes an anchor,
// underlined, that the view opens on a click.
void appendRun(QTextDocument *document, const TextRun &run);
// Puts the runs into the view at its start, above what it holds.
void insertRunsAtStart(QTextEdit *view, const QList<TextRun> &runs);

} // namespace quillet
