#pragma once

#include <QList>
#include <QStringView>
#include <QUrl>

// Addresses in message texts, found without widgets so that the conversation, its
// log and the logs viewer agree on what is a link.
//
// A link starts with "http://", "https://", "ftp://" or "mailto:" in any letter
// case, not right after an ASCII letter, digit, + or - (that would be another
// scheme), or with "www." not inside another name (not right after a letter,
// digit, . - _ @ or /), which opens as http://www... It runs to white space, a
// control or format character, < > « » or a double quote, or a closing bracket
// ) ] } whose opening partner is not inside the address; then trailing punctuation
// . , ; : ! ? ' " … is left out, as a reader takes it for the sentence's. Letters
// of any script belong to the address, so Cyrillic paths and .рф names stay whole.
// A scheme with nothing after it, or an address that is no openable URL, is no
// link. The text is never changed: a link is a span of it and the URL it opens.

namespace quillet {

struct Link
{
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;

    friend bool operator==(const Link &, const Link &) = default;
};

// The links in `text`, in order and not overlapping.
QList<Link> findLinks(QStringView text);

// The links that lie wholly within text[start, start + length), placed in that part;
// `links` are in text order, as findLinks and the RTF scanner give them.
QList<Link> linksWithin(const QList<Link> &links, qsizetype start, qsizetype length);

// True for the only URLs that are ever opened or stored as links: http, https and
// ftp with a host, and mailto with an address. Everything that opens a link asks.
bool isOpenableLink(const QUrl &url);

// A local file with an absolute path and no control character in it: the links
// to files sent with messages. They are stored in logs as links, but are never
// opened as other links are (see the file actions of the views).
bool isFileLink(const QUrl &url);
// Openable or file links: the ones the views and the logs keep as links.
inline bool isStoredLink(const QUrl &url)
{
    return isOpenableLink(url) || isFileLink(url);
}

// Whether opening the file could run something: an execute bit, a script, a
// program, a desktop entry or another type the desktop would execute, by name
// or by content. Anything but a regular file (links included) counts as such.
bool mightRun(const QString &path);

} // namespace quillet
