#include "chatwindow/trayavailability.h"

#include <QSystemTrayIcon>

namespace quillet {

namespace {
std::optional<bool> g_override;
}

bool trayAvailable()
{
    return g_override.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void overrideTrayAvailable(std::optional<bool> available)
{
    g_override = available;
}

} // namespace quillet
