#pragma once

#include <QList>
#include <QString>

namespace quillet {

// Where a word lies in a text.
struct WordSpan
{
    qsizetype start = 0;
    qsizetype length = 0;

    qsizetype end() const { return start + length; }
    // The cursor touches a word when it stands inside it or at either edge.
    bool touches(qsizetype position) const { return position >= start && position <= end(); }
    friend bool operator==(const WordSpan &, const WordSpan &) = default;
};

// The words of a text that spelling applies to: runs of letters, joined by an
// inner hyphen or apostrophe ("кто-то", "don't"). Left out are words with digits
// or underscores, all-capital abbreviations ("СССР", "USA") and every word of a
// link (http, https, ftp, mailto, "www." names) or an e-mail address.
QList<WordSpan> checkableWords(const QString &text);

// The checkable word under or touching `position`; an empty span when none.
WordSpan checkableWordAt(const QString &text, qsizetype position);

} // namespace quillet
