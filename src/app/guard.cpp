#include "app/guard.h"

#include "gui/boxes.h"

#include <memory>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<ExchangeFolderLock> ExchangeFolderGuard;

} // namespace

QString exchangeMutexName(const QString &path)
{
    QString name = path;
    name.replace('\\'_L1, '?'_L1);
    name.replace('/'_L1, '?'_L1);
    name.replace(':'_L1, '?'_L1);
    return u"{66DD9D8B-670E-4254-B796-24EA1C03BF32}-"_s + name;
}

bool ExchangeFolderLock::isHeldElsewhere(const QString &pathName)
{
    m_lock.release();
    switch (m_lock.acquire(exchangeMutexName(pathName))) {
    case NamedLock::Outcome::AlreadyHeld:
    case NamedLock::Outcome::AccessDenied:
        return true;
    case NamedLock::Outcome::Acquired:
    case NamedLock::Outcome::Failed:
        return false;
    }
    return false;
}

bool claimExchangeFolder(const QString &folder, QWidget *parent)
{
    if (!ExchangeFolderGuard)
        ExchangeFolderGuard = std::make_unique<ExchangeFolderLock>();
    if (!ExchangeFolderGuard->isHeldElsewhere(folder))
        return true;
    Boxes::message(parent,
                   folder + u"\r\n\r\nВ этом каталоге уже идёт чат.\r\n"_s +
                       u"Попробуйте поискать иконку "_s + u"программы в трее."_s,
                   BoxStyle{BoxButtons::Ok, BoxIcon::Warning});
    ExchangeFolderGuard.reset();
    return false;
}

void releaseExchangeFolder()
{
    ExchangeFolderGuard.reset();
}

} // namespace quillet
