#pragma once

#include <QElapsedTimer>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTimer>

namespace quillet {

class SpellChecker;

// Underlines the misspelt words of a document with a red wave; it changes
// formats only, never the text. Checking never holds the event loop long: each
// turn of the loop checks words for a few milliseconds, and the blocks whose
// words did not fit are checked on the following turns. The word being typed
// (touching the typing position) is left alone until the cursor leaves it.
// Made for a plain text box's document: in a rich text layout every block's
// new formats lay out the whole document again, which makes slices slow.
class SpellingHighlighter final : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // Dictionary look-ups of one event-loop turn stop after this many milliseconds.
    static constexpr int TurnBudgetMs = 8;

    SpellingHighlighter(QTextDocument *document, SpellChecker &checker);

    // Off, the underlines go at once; on, the document is checked again.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // Where the user is typing, as a document position; -1 when not typing.
    void setTypingPosition(int position);
    // Whether blocks are still waiting to be checked.
    bool isChecking() const;

signals:
    // Every block is checked.
    void checkingFinished();

protected:
    void highlightBlock(const QString &text) override;

private:
    void startTurn();
    bool turnBudgetLeft() const;
    void checkAgain();
    void checkWaitingBlocks();

    SpellChecker &m_checker;
    QTextCharFormat m_misspeltFormat;
    QTimer m_nextSlice;
    QElapsedTimer m_turn;
    bool m_turnOpen = false;
    bool m_enabled = true;
    int m_typingPosition = -1;
};

} // namespace quillet
