#pragma once

#include "namedlock.h"

#include <QString>

class QWidget;

// The name that stands for an exchange folder among the running copies.
QString ExchangeMutexName(const QString &path);

// Holds the flag of one exchange folder for as long as it lives.
class CExchangePathProtector final
{
public:
    CExchangePathProtector() = default;
    Q_DISABLE_COPY_MOVE(CExchangePathProtector)

    // True when another copy already holds the folder; false when this object
    // now holds it, or when the flag could not be made at all.
    bool IsPathProtected(const QString &pathName);

private:
    NamedLock m_lock;
};

// Takes the flag of ExchangeFolderPath. When another copy runs a chat there,
// warns the user, clears ChatFilePath and ExchangeFolderPath and returns false.
bool ClaimExchangeFolder(QWidget *parent = nullptr);
// Gives the folder up (used by tests and at the end of the process).
void ReleaseExchangeFolder();
