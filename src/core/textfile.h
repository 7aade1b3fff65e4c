#pragma once

#include "core/error.h"
#include "platform/files.h"

#include <QByteArray>
#include <QString>

namespace quillet {

// Whole-file text reading and writing.
//
// Written as UTF-16LE with a byte-order mark; read by the byte-order mark
// (UTF-8, UTF-16LE, UTF-16BE) and as UTF-8 without one. NUL characters and
// any Unicode text round-trip. Writes are atomic: the text goes to a hidden
// temporary file in the same folder, which then replaces the target, so no
// reader ever sees half a file.
class TextFile final
{
public:
    static constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

    // Reads a regular file of at most MaxFileSize bytes. Symbolic links,
    // pipes and devices are refused without blocking.
    static Result<QString> readText(const QString &path);
    static Result<QByteArray> readBytes(const QString &path, qint64 maxSize = MaxFileSize);
    static Result<QString> decode(const QByteArray &bytes);
    static QByteArray encode(const QString &text);

    // An empty text still gets its byte-order mark: file managers that take
    // every zero-byte file for plain text then go by the file's name.
    static Status writeText(const QString &path, const QString &text);
    enum class Access
    {
        Default,   // 0644 less the umask
        OwnerOnly, // 0600, whatever the umask: for files private to the user
    };
    enum class Existing
    {
        Replace, // an existing file of that name is replaced
        Keep,    // an existing file is kept: the write fails with EEXIST
    };
    // Puts `bytes` into the file at `path` atomically: readers see the old file or
    // the whole new one, never a part.
    static Status writeAtomically(const QString &path, const QByteArray &bytes,
                                  Access access = Access::Default,
                                  Existing existing = Existing::Replace);

    // The temporary name used while writing `path`: never matches "*.QLIM".
    static QString temporaryNameFor(const QString &path);
};

// A regular file read in parts, for files too large to read whole: every part
// comes from the one file opened, even if the name is given to another meanwhile.
class FileReader final
{
public:
    // Symbolic links, pipes and devices are refused without blocking.
    Status open(const QString &path);
    qint64 size() const { return m_size; }
    // `length` bytes from `offset`, fewer only where the file ends.
    Result<QByteArray> read(qint64 offset, qint64 length) const;

private:
    FileDescriptor m_fd;
    qint64 m_size = 0;
};

} // namespace quillet
