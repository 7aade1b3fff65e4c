#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

class QTextEdit;

// Appending formatted runs to the end of the conversation view.

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
// Appends text at the end with the given size (points), bold flag, colour and the
// alignment (0 left, 1 right, 2 centre) of the paragraph that holds it.
void appendText(QTextEdit *view, const QString &text, int size, bool bold, const QColor &colour,
                int alignment);
// appendText followed by a line break.
void appendLine(QTextEdit *view, const QString &text, int size, bool bold, const QColor &colour,
                int alignment);
// A thin blank line (3 points) between messages.
void appendSpacer(QTextEdit *view);

} // namespace quillet
