#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRgb>
#include <QString>

class QTextDocument;
class QUrl;

namespace quillet {

// Writes a document as RTF 1.x: one font (the document's default font, with the
// Cyrillic character set), a colour table, and for every run its size (\fs, in
// half-points), bold flag, colour and its paragraph's alignment; one \par per
// paragraph break. Text outside printable ASCII goes out as \uN? and backslash
// and braces are escaped, so no text can ever add control words of its own.
// Anchors whose address isOpenableLink go out as hyperlink fields around their runs.
QByteArray writeRtf(const QTextDocument &document);

// A hyperlink field as word processors write and open it:
//   {\field{\*\fldinst{HYPERLINK "URL"}}{\fldrslt{RUNS}}}
// The start writes everything before the runs, with the URL in its encoded form
// (ASCII, quotes, braces and backslashes percent-encoded); the end closes the
// field. `url` must be openable (isOpenableLink): no other address is stored as a link.
void appendHyperlinkStart(QByteArray &out, const QUrl &url);
void appendHyperlinkEnd(QByteArray &out);

// Keeps the RTF of a document that grows at its end, so that a long conversation is
// not serialised anew for every message: finished paragraphs are written once, and
// only the last paragraph, the header and paragraphs touched by an edit again.
// header() + body() + tail() is always exactly writeRtf(document) after update().
// Gives the document a layout if it has none, so it needs a QGuiApplication.
class RtfIncrementalWriter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RtfIncrementalWriter)

public:
    explicit RtfIncrementalWriter(QTextDocument *document);

    // Brings header, body and tail up to date with the document.
    void update();

    // Everything before the first paragraph: font and colour tables.
    const QByteArray &header() const { return m_header; }
    // The finished paragraphs, each closed by \par.
    const QByteArray &body() const { return m_body; }
    // The last paragraph and the closing brace.
    const QByteArray &tail() const { return m_tail; }
    QByteArray rtf() const { return m_header + m_body + m_tail; }

    // Bytes at the start of body() that no edit has changed since markStable().
    qsizetype stableBodyLength() const { return m_stableBody; }
    void markStable() { m_stableBody = m_body.size(); }

private:
    void invalidateFrom(int blockNumber);

    QPointer<QTextDocument> m_document;
    qreal m_defaultPointSize = 0;
    QList<QRgb> m_colours;
    QHash<QRgb, int> m_colourIndex;
    int m_finishedColours = 0;        // colours used by the finished paragraphs
    QList<int> m_coloursBefore;       // per finished paragraph: colours before it
    QList<qsizetype> m_paragraphEnds; // per finished paragraph: its end in m_body
    QByteArray m_header;
    QByteArray m_body;
    QByteArray m_tail;
    qsizetype m_stableBody = 0;
};

} // namespace quillet
