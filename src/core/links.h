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

// True for the only URLs that are ever opened or stored as links: http, https and
// ftp with a host, and mailto with an address. Everything that opens a link asks.
bool isOpenableLink(const QUrl &url);

} // namespace quillet
