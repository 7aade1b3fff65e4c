#include "richtext/rtftextscanner.h"

#include "richtext/rtfsyntax.h"

#include <algorithm>

namespace quillet {

namespace {

// Collects the text of the runs the walker finds as the document that readRtf
// builds from them gives it back in toPlainText(): every line or paragraph break
// becomes '\n', CR LF inside one run counts once, a no-break space is a blank.
class TextCollector final : public RtfSink
{
public:
    // Every character comes from at least one byte: the text never grows again.
    explicit TextCollector(qsizetype size) { m_text.reserve(size + 1); }

    QString takeText() { return std::move(m_text); }
    // The links found, their addresses from the walker's link numbers.
    QList<Link> takeLinks(const RtfWalker &walker);

private:
    void insertRun(const QString &text, const RtfCharState &chars) override;
    void endParagraph(Qt::Alignment, const RtfCharState &) override { m_text.append(u'\n'); }

    void appendPlain(const QString &text);
    void noteLink(qsizetype start, int number);

    QString m_text;
    QList<Link> m_links;
    QList<int> m_linkNumbers;
};

QList<Link> TextCollector::takeLinks(const RtfWalker &walker)
{
    for (qsizetype i = 0; i < m_links.size(); ++i)
        m_links[i].url = walker.link(m_linkNumbers.at(i));
    return std::move(m_links);
}

// A link's text may come in several runs (a change of colour within it).
void TextCollector::noteLink(qsizetype start, int number)
{
    const qsizetype length = m_text.size() - start;
    if (!m_links.isEmpty() && m_linkNumbers.back() == number &&
        m_links.back().start + m_links.back().length == start) {
        m_links.back().length += length;
        return;
    }
    m_links.append({start, length, {}});
    m_linkNumbers.append(number);
}

// Characters that a document's plain text shows differently, and some others: a
// test that compiles to a few instructions and leaves most runs as they are.
constexpr bool mayChange(char16_t c)
{
    return c <= u'\r' || c == QChar::Nbsp || c >= QChar::LineSeparator;
}

void TextCollector::insertRun(const QString &text, const RtfCharState &chars)
{
    const qsizetype start = m_text.size();
    appendPlain(text);
    if (chars.link != 0)
        noteLink(start, chars.link);
}

void TextCollector::appendPlain(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return mayChange(c.unicode()); })) {
        m_text.append(text);
        return;
    }
    const qsizetype start = m_text.size();
    m_text.resize(start + text.size());
    QChar *out = m_text.data() + start;
    for (qsizetype i = 0, length = text.size(); i < length; ++i) {
        char16_t c = text.at(i).unicode();
        switch (c) {
        case u'\r':
            if (i + 1 < length && text.at(i + 1) == u'\n')
                ++i;
            c = u'\n';
            break;
        case QChar::Nbsp:
            c = u' ';
            break;
        case QChar::LineSeparator:
        case QChar::ParagraphSeparator:
        case 0xFDD0: // the document's frame marks
        case 0xFDD1:
            c = u'\n';
            break;
        default:
            break;
        }
        *out++ = QChar(c);
    }
    m_text.truncate(out - m_text.constData());
}

} // namespace

Result<QString> RtfTextScanner::plainText(QByteArrayView rtf)
{
    TextCollector collector(rtf.size());
    if (const Status walked = RtfWalker(rtf, collector).walk(); !walked)
        return walked.error();
    return collector.takeText();
}

Result<RtfTextScanner::TextAndLinks> RtfTextScanner::textAndLinks(QByteArrayView rtf)
{
    TextCollector collector(rtf.size());
    RtfWalker walker(rtf, collector);
    if (const Status walked = walker.walk(); !walked)
        return walked.error();
    return TextAndLinks{collector.takeText(), collector.takeLinks(walker)};
}

} // namespace quillet
