#include "trayavailability.h"

#include <QSystemTrayIcon>

namespace {
std::optional<bool> g_override;
}

bool TrayAvailable()
{
    return g_override.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void overrideTrayAvailable(std::optional<bool> available)
{
    g_override = available;
}
