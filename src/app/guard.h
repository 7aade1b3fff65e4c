#pragma once

#include "platform/namedlock.h"

#include <QString>

class QWidget;

namespace quillet {

// The name that stands for an exchange folder among the running copies.
QString exchangeMutexName(const QString &path);

// Holds the flag of one exchange folder for as long as it lives.
class ExchangeFolderLock final
{
public:
    ExchangeFolderLock() = default;
    Q_DISABLE_COPY_MOVE(ExchangeFolderLock)

    // True when another copy already holds the folder; false when this object
    // now holds it, or when the flag could not be made at all.
    bool isHeldElsewhere(const QString &pathName);

private:
    NamedLock m_lock;
};

// Takes the flag of the exchange folder. When another copy runs a chat there,
// warns the user and returns false.
bool claimExchangeFolder(const QString &folder, QWidget *parent = nullptr);
// Gives the folder up (used by tests and at the end of the process).
void releaseExchangeFolder();

} // namespace quillet
