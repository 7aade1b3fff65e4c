#pragma once

#include <QObject>
#include <QPoint>

class QMenu;
class QPlainTextEdit;

namespace quillet {

class SpellChecker;
class SpellingHighlighter;

// The context menu of a text box with spelling: on a misspelt word, up to five
// suggestions (choosing one replaces the word as one undo step), "Добавить в
// словарь" and "Пропустить", a separator, then Qt's own entries. Elsewhere it
// is Qt's own menu. `pos` is in the box's viewport coordinates, as a context
// menu event or customContextMenuRequested gives it. The caller owns the menu.
QMenu *createSpellingContextMenu(QPlainTextEdit *box, const QPoint &pos, SpellChecker &checker);

// Spelling in one text box: the highlighter on its document, told where the
// user types. Owned by the box.
class MessageSpelling final : public QObject
{
    Q_OBJECT

public:
    MessageSpelling(QPlainTextEdit *box, SpellChecker &checker);

    // Off, the underlines go at once and the context menu is Qt's own.
    void setEnabled(bool enabled);
    bool isEnabled() const;
    SpellingHighlighter *highlighter() const { return m_highlighter; }
    // The box's context menu: createSpellingContextMenu while on. The caller owns it.
    QMenu *createContextMenu(const QPoint &pos);

private:
    void followCursor();

    QPlainTextEdit *m_box;
    SpellChecker &m_checker;
    SpellingHighlighter *m_highlighter;
    int m_editEnd = -1; // where the last edit ended
};

} // namespace quillet
