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

private:
    void insertRun(const QString &text, const RtfCharState &chars) override;
    void endParagraph(Qt::Alignment, const RtfCharState &) override { m_text.append(u'\n'); }

    QString m_text;
};

// Characters that a document's plain text shows differently, and some others: a
// test that compiles to a few instructions and leaves most runs as they are.
constexpr bool mayChange(char16_t c)
{
    return c <= u'\r' || c == QChar::Nbsp || c >= QChar::LineSeparator;
}

void TextCollector::insertRun(const QString &text, const RtfCharState &)
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

} // namespace quillet
