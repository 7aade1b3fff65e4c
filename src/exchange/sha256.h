#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <vector>

namespace quillet {

// SHA-256 through OpenSSL's libcrypto: several times faster than
// QCryptographicHash, which matters for files of a gigabyte.
class Sha256 final
{
public:
    Sha256();
    ~Sha256();
    Q_DISABLE_COPY_MOVE(Sha256)

    void add(const char *data, qint64 size);
    // Adds bytes [from, to) of `fd`; 0, an errno value, or ENODATA when the
    // file ends before `to`.
    int addFileRange(int fd, qint64 from, qint64 to);
    QByteArray result(); // 32 bytes; the hash starts anew afterwards

private:
    void *m_context;
    std::vector<char> m_buffer;
};

// Files are copied in large chunks and read for hashing in small ones, which
// stay in the processor's cache between the read and the hash.
constexpr qint64 FileChunkSize = 8 * 1024 * 1024;
constexpr qint64 HashChunkSize = 256 * 1024;

// Hashes the first `size` bytes of `fd`. 0, an errno value, or ECANCELED once
// `stop` is set; a file shorter than `size` is ENODATA.
int hashFile(int fd, qint64 size, const std::atomic_bool &stop, QByteArray &digest);

} // namespace quillet
