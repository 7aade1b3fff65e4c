#include "spelling/spellinghighlighter.h"

#include "spelling/spellchecker.h"
#include "spelling/wordscanner.h"

#include <QTextBlockUserData>
#include <QTextDocument>

namespace quillet {

namespace {

// Marks a block whose words were not all checked yet.
class BlockCheck final : public QTextBlockUserData
{
public:
    bool waiting = false;
};

bool isWaiting(const QTextBlock &block)
{
    const auto *check = dynamic_cast<const BlockCheck *>(block.userData());
    return check && check->waiting;
}

void setWaiting(QTextBlock block, bool waiting)
{
    auto *check = dynamic_cast<BlockCheck *>(block.userData());
    if (!check && !waiting)
        return;
    if (!check) {
        check = new BlockCheck; // the block owns it
        block.setUserData(check);
    }
    check->waiting = waiting;
}

} // namespace

SpellingHighlighter::SpellingHighlighter(QTextDocument *document, SpellChecker &checker)
    : QSyntaxHighlighter(document), m_checker(checker)
{
    m_misspeltFormat.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    m_misspeltFormat.setUnderlineColor(Qt::red);
    m_nextSlice.setSingleShot(true);
    m_nextSlice.setInterval(0);
    connect(&m_nextSlice, &QTimer::timeout, this, &SpellingHighlighter::checkWaitingBlocks);
    connect(&checker, &SpellChecker::dictionariesLoaded, this, &SpellingHighlighter::checkAgain);
    connect(&checker, &SpellChecker::wordsChanged, this, &SpellingHighlighter::checkAgain);
}

void SpellingHighlighter::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        checkAgain();
    } else {
        m_nextSlice.stop();
        rehighlight(); // unchecked blocks lose their underlines
    }
}

void SpellingHighlighter::setTypingPosition(int position)
{
    const int old = std::exchange(m_typingPosition, position);
    if (old == position || !m_enabled || !m_checker.isLoaded())
        return;
    const QTextBlock was = old >= 0 ? document()->findBlock(old) : QTextBlock();
    const QTextBlock now = position >= 0 ? document()->findBlock(position) : QTextBlock();
    if (was.isValid() && was == now) {
        // Typing on within the same word changes no mark.
        const QString text = was.text();
        if (checkableWordAt(text, old - was.position()) !=
            checkableWordAt(text, position - was.position()))
            rehighlightBlock(was);
        return;
    }
    for (const QTextBlock &block : {was, now}) {
        if (block.isValid())
            rehighlightBlock(block);
    }
}

bool SpellingHighlighter::isChecking() const
{
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (isWaiting(block))
            return true;
    }
    return false;
}

void SpellingHighlighter::highlightBlock(const QString &text)
{
    if (!m_enabled || text.isEmpty()) {
        setWaiting(currentBlock(), false);
        return;
    }
    m_checker.load();
    startTurn();
    const qsizetype typing = m_typingPosition - currentBlock().position();
    const bool typingHere = m_typingPosition >= 0 && typing >= 0 && typing <= text.size();
    bool waiting = false;
    for (const WordSpan &span : checkableWords(text)) {
        if (typingHere && span.touches(typing))
            continue;
        const QString word = text.sliced(span.start, span.length);
        std::optional<bool> misspelt = m_checker.cachedMisspelt(word);
        if (!misspelt && !turnBudgetLeft()) {
            waiting = true;
            continue;
        }
        if (!misspelt) {
            misspelt = m_checker.isMisspelt(word);
            // A word just typed wrong is the likeliest to be right-clicked.
            if (*misspelt && typingHere)
                m_checker.prepareSuggestions(word);
        }
        if (*misspelt)
            setFormat(int(span.start), int(span.length), m_misspeltFormat);
    }
    setWaiting(currentBlock(), waiting);
    if (waiting)
        m_nextSlice.start();
}

void SpellingHighlighter::startTurn()
{
    if (std::exchange(m_turnOpen, true))
        return;
    m_turn.start();
    // The budget is renewed once this turn of the event loop is over.
    QMetaObject::invokeMethod(
        this, [this] { m_turnOpen = false; }, Qt::QueuedConnection);
}

bool SpellingHighlighter::turnBudgetLeft() const
{
    return m_turn.elapsed() < TurnBudgetMs;
}

void SpellingHighlighter::checkAgain()
{
    if (!m_enabled)
        return;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block.length() > 1)
            setWaiting(block, true);
    }
    m_nextSlice.start();
}

void SpellingHighlighter::checkWaitingBlocks()
{
    m_turnOpen = false;
    startTurn();
    for (QTextBlock block = document()->begin(); block.isValid() && turnBudgetLeft();
         block = block.next()) {
        if (isWaiting(block))
            rehighlightBlock(block);
    }
    if (isChecking())
        m_nextSlice.start();
    else
        emit checkingFinished();
}

} // namespace quillet
