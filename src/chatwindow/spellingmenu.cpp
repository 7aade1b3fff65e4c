#include "chatwindow/spellingmenu.h"

#include "core/support.h"
#include "gui/boxes.h"
#include "spelling/spellchecker.h"
#include "spelling/spellinghighlighter.h"
#include "spelling/wordscanner.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// A word of the box, by its place in the document.
struct BoxWord
{
    int start = -1;
    QString text;
};

BoxWord wordAt(QPlainTextEdit *box, const QPoint &pos)
{
    const QTextCursor cursor = box->cursorForPosition(pos);
    const QTextBlock block = cursor.block();
    const QString text = block.text();
    const WordSpan span = checkableWordAt(text, cursor.positionInBlock());
    if (span.length == 0)
        return {};
    return {block.position() + int(span.start), text.sliced(span.start, span.length)};
}

// Replaces the word, if it is still there, as one step of the box's undo.
void replaceWord(QPlainTextEdit *box, const BoxWord &word, const QString &replacement)
{
    QTextCursor cursor(box->document());
    cursor.setPosition(word.start);
    cursor.setPosition(word.start + int(word.text.size()), QTextCursor::KeepAnchor);
    if (cursor.selectedText() != word.text)
        return;
    cursor.beginEditBlock();
    cursor.insertText(replacement);
    cursor.endEditBlock();
}

void addToDictionary(QPlainTextEdit *box, SpellChecker &checker, const QString &word)
{
    const Status saved = checker.addToDictionary(word);
    if (!saved)
        Boxes::showError(box->window(), saved.error(), {BoxButtons::Ok, BoxIcon::Warning},
                         u"Не удалось сохранить слово в личный словарь. До конца работы "
                         "программы оно считается написанным верно."_s);
}

} // namespace

QMenu *createSpellingContextMenu(QPlainTextEdit *box, const QPoint &pos, SpellChecker &checker)
{
    QMenu *menu = box->createStandardContextMenu(pos);
    checker.load();
    const BoxWord word = wordAt(box, pos);
    if (word.text.isEmpty() || !checker.isMisspelt(word.text))
        return menu;
    QAction *first = menu->actions().value(0);
    QList<QAction *> spelling;
    for (const QString &suggestion : checker.suggestions(word.text)) {
        auto *action = new QAction(suggestion, menu);
        QObject::connect(action, &QAction::triggered, box,
                         [box, word, suggestion] { replaceWord(box, word, suggestion); });
        spelling.append(action);
    }
    auto *add = new QAction(u"Добавить в словарь"_s, menu);
    QObject::connect(add, &QAction::triggered, box,
                     [box, &checker, text = word.text] { addToDictionary(box, checker, text); });
    auto *ignore = new QAction(u"Пропустить"_s, menu);
    QObject::connect(ignore, &QAction::triggered, &checker,
                     [&checker, text = word.text] { checker.ignore(text); });
    spelling << add << ignore;
    menu->insertActions(first, spelling);
    if (first)
        menu->insertSeparator(first);
    return menu;
}

MessageSpelling::MessageSpelling(QPlainTextEdit *box, SpellChecker &checker)
    : QObject(box), m_box(box), m_checker(checker),
      m_highlighter(new SpellingHighlighter(box->document(), checker))
{
    m_highlighter->setParent(this);
    // Keys type or erase one character at a time; pastes, undo and whole texts
    // set bring more. Only edits tell contentsChange, not the highlighter's formats.
    connect(
        box->document(), &QTextDocument::contentsChange, this,
        [this](int position, int, int added) { m_editEnd = added <= 1 ? position + added : -1; });
    connect(box, &QPlainTextEdit::cursorPositionChanged, this, &MessageSpelling::followCursor);
}

void MessageSpelling::setEnabled(bool enabled)
{
    m_highlighter->setEnabled(enabled);
}

bool MessageSpelling::isEnabled() const
{
    return m_highlighter->isEnabled();
}

QMenu *MessageSpelling::createContextMenu(const QPoint &pos)
{
    if (!isEnabled())
        return m_box->createStandardContextMenu(pos);
    return createSpellingContextMenu(m_box, pos, m_checker);
}

// A cursor that moved to the end of a typed character is where the user types;
// one moved otherwise leaves the word it was in to be checked.
void MessageSpelling::followCursor()
{
    const int position = m_box->textCursor().position();
    const bool typed = std::exchange(m_editEnd, -1) == position;
    m_highlighter->setTypingPosition(typed ? position : -1);
}

} // namespace quillet
