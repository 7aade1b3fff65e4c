#include "exchange/sha256.h"

#include <cerrno>
#include <openssl/evp.h>

#include "platform/folderaccess.h"

namespace quillet {

namespace {

EVP_MD_CTX *context(void *p)
{
    return static_cast<EVP_MD_CTX *>(p);
}

} // namespace

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(context(m_context), EVP_sha256(), nullptr);
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(context(m_context));
}

void Sha256::add(const char *data, qint64 size)
{
    EVP_DigestUpdate(context(m_context), data, size_t(size));
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned length = 0;
    EVP_DigestFinal_ex(context(m_context), reinterpret_cast<unsigned char *>(digest.data()),
                       &length);
    digest.truncate(length);
    EVP_DigestInit_ex(context(m_context), EVP_sha256(), nullptr);
    return digest;
}

int Sha256::addFileRange(int fd, qint64 from, qint64 to)
{
    m_buffer.resize(size_t(HashChunkSize));
    while (from < to) {
        qint64 got = 0;
        if (const int error =
                readAt(fd, m_buffer.data(), qMin(to - from, HashChunkSize), from, got))
            return error;
        if (got == 0)
            return ENODATA;
        add(m_buffer.data(), got);
        from += got;
    }
    return 0;
}

int hashFile(int fd, qint64 size, const std::atomic_bool &stop, QByteArray &digest)
{
    Sha256 sha;
    for (qint64 done = 0; done < size; done = qMin(size, done + FileChunkSize)) {
        if (stop)
            return ECANCELED;
        if (const int error = sha.addFileRange(fd, done, qMin(size, done + FileChunkSize)))
            return error;
    }
    digest = sha.result();
    return 0;
}

} // namespace quillet
