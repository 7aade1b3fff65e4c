#include "spelling/personalwordlist.h"

#include "core/support.h"
#include "core/textfile.h"

#include <QStringDecoder>

#include <algorithm>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MaxWordLength = 100;

QString decodedLine(QByteArrayView line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(line);
    return decoder.hasError() ? QString() : text.trimmed();
}

} // namespace

PersonalWordList::PersonalWordList(const QString &path) : m_path(path) {}

QString PersonalWordList::defaultPath()
{
    return joinPath(dataHomeFolder(), u"Greyhollow Studios\\Quillet IM\\Personal Dictionary.txt"_s);
}

bool PersonalWordList::isValidWord(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxWordLength)
        return false;
    bool letters = false;
    for (QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format || c.isNonCharacter())
            return false;
        letters = letters || c.isLetter();
    }
    return letters;
}

QSet<QString> PersonalWordList::readWords(const QString &path)
{
    QSet<QString> words;
    const Result<QByteArray> bytes = TextFile::readBytes(path, MaxFileSize);
    if (!bytes)
        return words;
    QByteArray text = bytes.value();
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    for (const QByteArray &line : text.split('\n')) {
        const QString word = decodedLine(line);
        if (isValidWord(word))
            words.insert(word);
    }
    return words;
}

void PersonalWordList::load()
{
    m_words = readWords(m_path);
}

bool PersonalWordList::contains(const QString &word) const
{
    return m_words.contains(word) || m_words.contains(word.toLower());
}

Status PersonalWordList::add(const QString &word)
{
    if (!isValidWord(word))
        return {}; // no word: nothing to keep
    m_words.insert(word);
    m_words.unite(readWords(m_path));
    QStringList sorted(m_words.cbegin(), m_words.cend());
    std::sort(sorted.begin(), sorted.end());
    if (Status made = createPrivateFolder(parentFolder(m_path)); !made)
        return made;
    return TextFile::writeAtomically(m_path, (sorted.join('\n'_L1) + '\n'_L1).toUtf8(),
                                     TextFile::Access::OwnerOnly);
}

} // namespace quillet
