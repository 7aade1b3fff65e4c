#include "core/links.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <algorithm>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView WebPrefix = "www."_L1;
constexpr QLatin1StringView Prefixes[] = {"http://"_L1, "https://"_L1, "ftp://"_L1, "mailto:"_L1,
                                          WebPrefix};

constexpr bool isAsciiLetterOrDigit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Whether `prefix` at `start` would continue what stands before it.
bool isGlued(QStringView text, qsizetype start, QLatin1StringView prefix)
{
    if (start == 0)
        return false;
    const QChar before = text.at(start - 1);
    if (prefix == WebPrefix)
        return before.isLetterOrNumber() || u"._-@/"_s.contains(before);
    return isAsciiLetterOrDigit(before.unicode()) || before == u'+' || before == u'-';
}

// Characters that never belong to an address: it ends before them.
bool endsAddress(QChar c)
{
    if (c.isSpace() || c.unicode() < 0x20)
        return true;
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_NotAssigned:
        return true;
    default:
        return u"<>«»\"\uFFFC"_s.contains(c);
    }
}

// Punctuation that ends a sentence more often than an address.
bool isTrailingPunctuation(QChar c)
{
    return u".,;:!?'\"…"_s.contains(c);
}

// Where the address that starts at `start` ends: at a character that no address
// holds, or at a closing bracket whose opening one is not inside it.
qsizetype addressEnd(QStringView text, qsizetype start)
{
    static constexpr char16_t Opening[] = u"([{";
    static constexpr char16_t Closing[] = u")]}";
    int open[3] = {};
    qsizetype end = start;
    for (; end < text.size(); ++end) {
        const QChar c = text.at(end);
        if (endsAddress(c))
            break;
        for (int kind = 0; kind < 3; ++kind) {
            if (c == Opening[kind])
                ++open[kind];
        }
        bool unpaired = false;
        for (int kind = 0; kind < 3; ++kind) {
            if (c == Closing[kind] && open[kind]-- == 0)
                unpaired = true;
        }
        if (unpaired)
            break;
    }
    while (end > start && isTrailingPunctuation(text.at(end - 1)))
        --end;
    return end;
}

// The prefix of a link that starts at `start`, or none.
QLatin1StringView prefixAt(QStringView text, qsizetype start)
{
    if (!u"hHfFmMwW"_s.contains(text.at(start)))
        return {};
    for (const QLatin1StringView prefix : Prefixes) {
        if (text.sliced(start).startsWith(prefix, Qt::CaseInsensitive) &&
            !isGlued(text, start, prefix))
            return prefix;
    }
    return {};
}

} // namespace

QList<Link> linksWithin(const QList<Link> &links, qsizetype start, qsizetype length)
{
    QList<Link> within;
    auto link = std::lower_bound(links.begin(), links.end(), start,
                                 [](const Link &l, qsizetype at) { return l.start < at; });
    for (; link != links.end() && link->start < start + length; ++link) {
        if (link->start + link->length <= start + length)
            within.append({link->start - start, link->length, link->url});
    }
    return within;
}

QList<Link> findLinks(QStringView text)
{
    QList<Link> links;
    for (qsizetype start = 0; start < text.size(); ++start) {
        const QLatin1StringView prefix = prefixAt(text, start);
        if (prefix.isEmpty())
            continue;
        const qsizetype end = addressEnd(text, start + prefix.size());
        if (end == start + prefix.size())
            continue; // a bare scheme
        const QString address = text.sliced(start, end - start).toString();
        const QUrl url(prefix == WebPrefix ? u"http://"_s + address : address, QUrl::TolerantMode);
        if (!isOpenableLink(url))
            continue;
        links.append({start, end - start, url});
        start = end - 1;
    }
    return links;
}

bool isOpenableLink(const QUrl &url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    if (scheme.compare("mailto"_L1, Qt::CaseInsensitive) == 0)
        return !url.path().isEmpty();
    for (const QLatin1StringView web : {"http"_L1, "https"_L1, "ftp"_L1}) {
        if (scheme.compare(web, Qt::CaseInsensitive) == 0)
            return !url.host().isEmpty();
    }
    return false;
}

bool isFileLink(const QUrl &url)
{
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return false;
    const QString path = url.toLocalFile();
    return path.startsWith(u'/') && std::none_of(path.begin(), path.end(), [](QChar c) {
               return c.category() == QChar::Other_Control;
           });
}

namespace {

// Types the desktop runs rather than shows, beyond those that derive from
// programs, libraries and desktop entries (scripts derive from programs).
constexpr QLatin1StringView RunnableTypes[] = {
    "application/x-executable"_L1,       "application/x-sharedlib"_L1,
    "application/x-desktop"_L1,          "application/x-ms-dos-executable"_L1,
    "application/x-msdownload"_L1,       "application/x-msi"_L1,
    "application/x-ms-shortcut"_L1,      "application/x-java-archive"_L1,
    "application/x-java-jnlp-file"_L1,   "application/vnd.appimage"_L1,
    "application/x-iso9660-appimage"_L1, "application/vnd.flatpak.ref"_L1,
    "application/vnd.flatpak"_L1,        "application/vnd.flatpak.repo"_L1,
    "application/x-shellscript"_L1,      "application/javascript"_L1,
};

bool isRunnableType(const QMimeType &type)
{
    return std::any_of(std::begin(RunnableTypes), std::end(RunnableTypes),
                       [&](QLatin1StringView runnable) { return type.inherits(runnable); });
}

} // namespace

bool mightRun(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return true;
    constexpr QFile::Permissions Execute =
        QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther | QFile::ExeUser;
    if (info.permissions() & Execute)
        return true;
    const QMimeDatabase types;
    if (isRunnableType(types.mimeTypeForFile(info, QMimeDatabase::MatchExtension)) ||
        isRunnableType(types.mimeTypeForFile(info, QMimeDatabase::MatchContent)))
        return true;
    QFile file(path);
    return !file.open(QIODevice::ReadOnly) || file.peek(2) == "#!";
}

} // namespace quillet
