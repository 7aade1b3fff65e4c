#include "frmsettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "autorun.h"
#include "boxes.h"
#include "colorbutton.h"
#include "dialogs.h"
#include "placement.h"
#include "settings.h"
#include "settingsstore.h"

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

const QString ColorsSection = QStringLiteral("Colors");
const QString CustomColorsKey = QStringLiteral("Custom Colors");

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

void frmSettings::done(int result)
{
    // A closed window is built again from Settings the next time it is shown.
    if (openWindow() == this)
        openWindow() = nullptr;
    QDialog::done(result);
    deleteLater();
}

template <class W> W *frmSettings::place(const char *name, const QRect &geometry)
{
    auto *widget = new W(this);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QCheckBox *frmSettings::checkBox(const char *name, int top, int width, const QString &caption)
{
    auto *box = place<QCheckBox>(name, QRect(12, top, width, 17));
    box->setText(caption);
    return box;
}

QPushButton *frmSettings::pushButton(const char *name, const QRect &geometry,
                                     const QString &caption)
{
    auto *button = place<QPushButton>(name, geometry);
    button->setText(caption);
    return button;
}

void frmSettings::label(int index, const QRect &geometry, const QString &caption)
{
    auto *tag = new QLabel(caption, this);
    tag->setObjectName(QStringLiteral("lblTag%1").arg(index));
    tag->setGeometry(geometry);
    if (index == 3)
        tag->setWordWrap(true);
}

void frmSettings::createWidgets()
{
    m_chkSendOnEnter = checkBox("chkSendOnEnter", 12, 261,
                                QStringLiteral("Отправлять по Enter вместо Ctrl+Enter"));
    m_chkiChatStylePlugin =
        checkBox("chkiChatStylePlugin", 36, 209, QStringLiteral("Пометка времени в стиле iChat"));
    m_chkNameOnSeparateLine = checkBox("chkNameOnSeparateLine", 60, 301,
                                       QStringLiteral("Имя и время сообщений на отдельной строке"));
    m_chkSortLogsList =
        checkBox("chkSortLogsList", 84, 181, QStringLiteral("Сортировать список логов"));
    m_chkSortLogsDescending = checkBox("chkSortLogsDescending", 108, 245,
                                       QStringLiteral("Обратный порядок сортировки логов"));
    m_chkShowDebugMessages =
        checkBox("chkShowDebugMessages", 132, 357,
                 QStringLiteral("Отображать отладочные сообщения (не рекомендуется)"));

    label(0, QRect(16, 164, 95, 14), QStringLiteral("Цвет сообщений"));
    m_cmdMessageColor = place<ColorButton>("cmdMessageColor", QRect(188, 160, 205, 21));
    label(1, QRect(16, 188, 105, 14), QStringLiteral("Цвет моего имени"));
    m_cmdMyNameColor = place<ColorButton>("cmdMyNameColor", QRect(188, 184, 205, 21));
    label(2, QRect(16, 212, 144, 14), QStringLiteral("Цвет имён собеседников"));
    m_cmdOtherNameColor = place<ColorButton>("cmdOtherNameColor", QRect(188, 208, 205, 21));
    label(4, QRect(16, 236, 160, 14), QStringLiteral("Цвет системных сообщений"));
    m_cmdSystemColor = place<ColorButton>("cmdSystemColor", QRect(188, 232, 205, 21));
    label(3, QRect(16, 268, 290, 42),
          QStringLiteral("Открывать данный чат при старте системы. Он будет помещён в папку "
                         "Автозагрузка, а не в реестр. Удалить вы сможете ручками ^^"));

    m_cmdAddToAutorun =
        pushButton("cmdAddToAutorun", QRect(316, 264, 77, 49), QStringLiteral("Добавить"));
    m_cmdOk = pushButton("cmdOk", QRect(100, 324, 93, 29), QStringLiteral("Ok"));
    m_cmdCancel = pushButton("cmdCancel", QRect(200, 324, 93, 29), QStringLiteral("Отмена"));
    m_cmdApply = pushButton("cmdApply", QRect(300, 324, 93, 29), QStringLiteral("Применить"));
    m_cmdOk->setDefault(true);

    const QList<QWidget *> tabOrder{m_chkSendOnEnter,
                                    m_chkiChatStylePlugin,
                                    m_chkNameOnSeparateLine,
                                    m_chkSortLogsList,
                                    m_chkSortLogsDescending,
                                    m_chkShowDebugMessages,
                                    m_cmdMessageColor,
                                    m_cmdMyNameColor,
                                    m_cmdOtherNameColor,
                                    m_cmdSystemColor,
                                    m_cmdAddToAutorun,
                                    m_cmdOk,
                                    m_cmdCancel,
                                    m_cmdApply};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void frmSettings::connectButtons()
{
    connect(m_cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(m_cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_cmdAddToAutorun, &QPushButton::clicked, this, [this] { AddChatToAutorun(this); });
    for (ColorButton *button :
         {m_cmdMessageColor, m_cmdMyNameColor, m_cmdOtherNameColor, m_cmdSystemColor}) {
        connect(button, &QPushButton::clicked, this, [this, button] { ChooseColor(button); });
    }
}

void frmSettings::Form_Load()
{
    bfCenterFormEx(this);
    LoadDialogValues();
}

void frmSettings::LoadDialogValues()
{
    m_chkSendOnEnter->setChecked(Settings.SendOnEnter);
    m_chkiChatStylePlugin->setChecked(Settings.iChatStylePlugin);
    m_chkNameOnSeparateLine->setChecked(Settings.NameOnSeparateLine);
    m_chkSortLogsList->setChecked(Settings.SortLogsList);
    m_chkSortLogsDescending->setChecked(Settings.SortLogsDescending);
    m_chkShowDebugMessages->setChecked(Settings.ShowDebugMessages);
    m_cmdMessageColor->setColor(Settings.MessageColor);
    m_cmdMyNameColor->setColor(Settings.MyNameColor);
    m_cmdOtherNameColor->setColor(Settings.OtherNameColor);
    m_cmdSystemColor->setColor(Settings.SystemColor);
}

void frmSettings::StoreDialogValues()
{
    Settings.SendOnEnter = m_chkSendOnEnter->isChecked();
    Settings.iChatStylePlugin = m_chkiChatStylePlugin->isChecked();
    Settings.NameOnSeparateLine = m_chkNameOnSeparateLine->isChecked();
    Settings.SortLogsList = m_chkSortLogsList->isChecked();
    Settings.SortLogsDescending = m_chkSortLogsDescending->isChecked();
    Settings.ShowDebugMessages = m_chkShowDebugMessages->isChecked();
    Settings.MessageColor = m_cmdMessageColor->color();
    Settings.MyNameColor = m_cmdMyNameColor->color();
    Settings.OtherNameColor = m_cmdOtherNameColor->color();
    Settings.SystemColor = m_cmdSystemColor->color();
}

bool frmSettings::applyValues()
{
    StoreDialogValues();
    const Status saved = SaveSettings();
    if (!saved)
        reportFailure(saved.error());
    return saved.ok();
}

void frmSettings::reportFailure(const Error &error)
{
    Boxes::showError(this, error, MB_ICONSTOP, QStringLiteral("Не удалось сохранить настройки."));
}

void frmSettings::cmdOk_Click()
{
    if (applyValues())
        accept();
}

void frmSettings::cmdApply_Click()
{
    applyValues();
}

void frmSettings::ChooseColor(ColorButton *button)
{
    ColorDialog dialog;
    dialog.setColor(button->color());
    dialog.setOwnerWindow(this);
    dialog.setCustomColorsText(
        SettingsStore()
            .LoadValue(ColorsSection, CustomColorsKey, ValueKind::Text, QString())
            .toString());
    if (!dialog.Show())
        return;
    button->setColor(dialog.Color());
    const Status saved = SettingsStore().SaveValue(ColorsSection, CustomColorsKey, ValueKind::Text,
                                                   dialog.CustomColorsText());
    if (!saved)
        reportFailure(saved.error());
}
