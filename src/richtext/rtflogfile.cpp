#include "richtext/rtflogfile.h"

#include "core/textfile.h"

#include <QFile>

namespace quillet {

RtfLogFile::RtfLogFile(const QString &fontFamily) : m_writer(fontFamily) {}

Status RtfLogFile::save(const QString &path)
{
    const QByteArray &body = m_writer.body();
    const QByteArray tail = m_writer.tail();
    const bool sameFile = !m_path.isEmpty() && path == m_path;
    // The body only grows: what the file holds of it stays as it is.
    const bool prefixKept = m_writer.header() == m_header && body.size() >= m_bodyLength;
    if (sameFile && prefixKept && body.size() == m_bodyLength && tail == m_tail) {
        FileStamp current;
        if (stampOf(QFile::encodeName(path), current) == 0 && current == m_stamp) {
            m_lastMethod = Method::None;
            return {};
        }
    }
    // The bytes that follow the unchanged prefix, starting where the old tail starts.
    const QByteArray added = body.sliced(qMin(m_bodyLength, body.size())) + tail;
    // The old tail without its brace must stay as it is: only the brace may change.
    const bool tailKept = !m_tail.isEmpty() && added.size() > m_tail.size() &&
                          added.startsWith(QByteArrayView(m_tail).chopped(1));
    Status status = sameFile && prefixKept && tailKept ? append(path, added) : rewrite(path);
    if (!status) {
        m_path.clear(); // what the file holds is not known: the next save replaces it
        return status;
    }
    remember(path);
    return {};
}

Status RtfLogFile::saveNew(const QString &path)
{
    m_path.clear();
    if (Status written = rewrite(path, TextFile::Existing::Keep); !written)
        return written;
    remember(path);
    return {};
}

// The file at `path` now holds the whole document as the writer made it.
void RtfLogFile::remember(const QString &path)
{
    m_path = path;
    m_header = m_writer.header();
    m_bodyLength = m_writer.body().size();
    m_tail = m_writer.tail();
}

Status RtfLogFile::rewrite(const QString &path, TextFile::Existing existing)
{
    m_lastMethod = Method::Rewritten;
    if (Status written =
            TextFile::writeAtomically(path, m_writer.rtf(), TextFile::Access::OwnerOnly, existing);
        !written)
        return written;
    if (const int error = stampOf(QFile::encodeName(path), m_stamp))
        return Error::fromErrno(error);
    return {};
}

Status RtfLogFile::append(const QString &path, const QByteArray &added)
{
    m_lastMethod = Method::Appended;
    // Only the file this object wrote last is extended; one changed by anyone else
    // is replaced whole.
    FileDescriptor fd;
    FileStamp stamp;
    if (openForUpdate(QFile::encodeName(path), fd) != 0 || stampOf(fd.get(), stamp) != 0 ||
        stamp != m_stamp)
        return rewrite(path);
    const qint64 brace = m_stamp.size - 1;         // where the old document ends
    const qsizetype unchanged = m_tail.size() - 1; // old tail bytes that stay as they are
    // First everything after the old final brace, made durable...
    int error = writeAt(fd.get(), QByteArrayView(added).sliced(unchanged + 1), brace + 1);
    if (!error)
        error = syncData(fd.get());
    // ...then the commit: the brace becomes the first byte of the new paragraphs.
    if (!error)
        error = writeAt(fd.get(), QByteArrayView(added).sliced(unchanged, 1), brace);
    if (!error)
        error = syncData(fd.get());
    if (!error)
        error = stampOf(fd.get(), stamp);
    if (const int closed = fd.close(); !error)
        error = closed;
    if (error)
        return Error::fromErrno(error);
    m_stamp = stamp;
    return {};
}

} // namespace quillet
