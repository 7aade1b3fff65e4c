#include "guard.h"

#include "appstate.h"
#include "boxes.h"

#include <memory>

namespace {

std::unique_ptr<CExchangePathProtector> ExchangeFolderGuard;

} // namespace

QString ExchangeMutexName(const QString &path)
{
    QString name = path;
    name.replace(QLatin1Char('\\'), QLatin1Char('?'));
    name.replace(QLatin1Char('/'), QLatin1Char('?'));
    name.replace(QLatin1Char(':'), QLatin1Char('?'));
    return QStringLiteral("{66DD9D8B-670E-4254-B796-24EA1C03BF32}-") + name;
}

bool CExchangePathProtector::IsPathProtected(const QString &pathName)
{
    m_lock.release();
    switch (m_lock.acquire(ExchangeMutexName(pathName))) {
    case NamedLock::Outcome::AlreadyHeld:
    case NamedLock::Outcome::AccessDenied:
        return true;
    case NamedLock::Outcome::Acquired:
    case NamedLock::Outcome::Failed:
        return false;
    }
    return false;
}

bool ClaimExchangeFolder(QWidget *parent)
{
    if (!ExchangeFolderGuard)
        ExchangeFolderGuard = std::make_unique<CExchangePathProtector>();
    if (!ExchangeFolderGuard->IsPathProtected(ExchangeFolderPath))
        return true;
    Boxes::message(
        parent,
        ExchangeFolderPath + QStringLiteral("\r\n\r\nВ этом каталоге уже идёт чат.\r\n") +
            QStringLiteral("Попробуйте поискать иконку ") + QStringLiteral("программы в трее."),
        MB_OK | MB_ICONEXCLAMATION);
    ExchangeFolderPath.clear();
    ChatFilePath.clear();
    ExchangeFolderGuard.reset();
    return false;
}

void ReleaseExchangeFolder()
{
    ExchangeFolderGuard.reset();
}
