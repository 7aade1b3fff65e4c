#include "frmsettings.h"

#include "colorbutton.h"
#include "placement.h"
#include "settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

QPointer<frmSettings> &openWindow()
{
    static QPointer<frmSettings> window;
    return window;
}

QFont dialogFont()
{
    QFont font(QStringLiteral("Tahoma"), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

void ShowSettingsWindow(QWidget *owner)
{
    QPointer<frmSettings> &window = openWindow();
    if (!window)
        window = new frmSettings(owner);
    window->show();
    window->raise();
    window->activateWindow();
}

frmSettings::frmSettings(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Настройки"));
    setFont(dialogFont());
    setFixedSize(401, 361);
    setModal(false);
    createWidgets();
    connectButtons();
    Form_Load();
}

frmSettings::~frmSettings()
{
    if (openWindow() == this)
        openWindow() = nullptr;
}

frmSettings *frmSettings::instance()
{
    return openWindow();
}

void frmSettings::createWidgets() {}

void frmSettings::connectButtons() {}

void frmSettings::Form_Load()
{
    bfCenterFormEx(this);
    LoadDialogValues();
}

void frmSettings::LoadDialogValues() {}

void frmSettings::StoreDialogValues() {}
