#include "spelling/wordscanner.h"

#include <QRegularExpression>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == '_'_L1;
}

bool isJoiner(QChar c)
{
    return c == '-'_L1 || c == '\''_L1 || c == QChar(0x2019);
}

// Links and e-mail addresses, whose parts are no words.
QList<WordSpan> addressSpans(const QString &text)
{
    static const QRegularExpression address(
        uR"((?:\b(?:https?|ftp)://|\bmailto:|\bwww\.)\S+|[\w.+-]+@[\w-]+(?:\.[\w-]+)+)"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QList<WordSpan> spans;
    for (const QRegularExpressionMatch &match : address.globalMatch(text))
        spans.append({match.capturedStart(), match.capturedLength()});
    return spans;
}

bool isAbbreviation(QStringView word)
{
    int capitals = 0;
    for (QChar c : word) {
        if (c.isLower())
            return false;
        capitals += c.isUpper() ? 1 : 0;
    }
    return capitals >= 2;
}

bool isCheckable(QStringView word)
{
    for (QChar c : word) {
        if (c.isDigit() || c == '_'_L1)
            return false;
    }
    return !isAbbreviation(word);
}

bool overlapsAny(const WordSpan &word, const QList<WordSpan> &spans)
{
    for (const WordSpan &span : spans) {
        if (word.start < span.end() && span.start < word.end())
            return true;
    }
    return false;
}

} // namespace

QList<WordSpan> checkableWords(const QString &text)
{
    const QList<WordSpan> addresses = addressSpans(text);
    QList<WordSpan> words;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (!isWordChar(text[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < size && (isWordChar(text[i]) ||
                            (isJoiner(text[i]) && i + 1 < size && isWordChar(text[i + 1]))))
            ++i;
        const WordSpan word{start, i - start};
        if (isCheckable(QStringView(text).sliced(start, word.length)) &&
            !overlapsAny(word, addresses))
            words.append(word);
    }
    return words;
}

WordSpan checkableWordAt(const QString &text, qsizetype position)
{
    for (const WordSpan &word : checkableWords(text)) {
        if (word.touches(position))
            return word;
    }
    return {};
}

} // namespace quillet
