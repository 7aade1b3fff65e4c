#include "exchange/sha256.h"

#include <cerrno>
#include <openssl/evp.h>
#include <vector>

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

int hashFile(int fd, qint64 size, const std::atomic_bool &stop, QByteArray &digest)
{
    std::vector<char> buffer(size_t(qMin(size, HashChunkSize)));
    Sha256 sha;
    for (qint64 done = 0; done < size;) {
        if (stop)
            return ECANCELED;
        qint64 got = 0;
        if (const int error =
                readAt(fd, buffer.data(), qMin(size - done, HashChunkSize), done, got))
            return error;
        if (got == 0)
            return ENODATA;
        sha.add(buffer.data(), got);
        done += got;
    }
    digest = sha.result();
    return 0;
}

} // namespace quillet
