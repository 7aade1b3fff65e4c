#include "settings/settingsdialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "core/settingsstore.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/fonts.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/singlewindow.h"
#include "settings/autostart.h"
#include "settings/colorbutton.h"
#include "settings/settings.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

SingleWindow<SettingsDialog> &openWindow()
{
    static SingleWindow<SettingsDialog> window;
    return window;
}

const QString ColorsSection = u"Colors"_s;
const QString CustomColorsKey = u"Custom Colors"_s;

} // namespace

void showSettingsDialog(QWidget *owner, const ChatContext &chat)
{
    openWindow().show([&] { return new SettingsDialog(owner, chat); });
}

SettingsDialog::SettingsDialog(QWidget *owner, const ChatContext &chat)
    : QDialog(owner), m_chat(chat)
{
    setObjectName(u"SettingsDialog"_s);
    setWindowTitle(u"Настройки"_s);
    setFont(programFont());
    setFixedSize(401, 361);
    setModal(false);
    createWidgets();
    connectButtons();
    load();
}

SettingsDialog::~SettingsDialog()
{
    openWindow().forget(this);
}

SettingsDialog *SettingsDialog::instance()
{
    return openWindow().window();
}

void SettingsDialog::done(int result)
{
    // A closed window is built again from Settings the next time it is shown.
    openWindow().forget(this);
    QDialog::done(result);
    deleteLater();
}

template <class W> W *SettingsDialog::place(const char *name, const QRect &geometry)
{
    auto *widget = new W(this);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QCheckBox *SettingsDialog::checkBox(const char *name, int top, int width, const QString &caption)
{
    auto *box = place<QCheckBox>(name, QRect(12, top, width, 17));
    box->setText(caption);
    return box;
}

QPushButton *SettingsDialog::pushButton(const char *name, const QRect &geometry,
                                        const QString &caption)
{
    auto *button = place<QPushButton>(name, geometry);
    button->setText(caption);
    return button;
}

QLabel *SettingsDialog::label(int index, const QRect &geometry, const QString &caption)
{
    auto *tag = new QLabel(caption, this);
    tag->setObjectName(u"lblTag%1"_s.arg(index));
    tag->setGeometry(geometry);
    if (index == 3)
        tag->setWordWrap(true);
    return tag;
}

void SettingsDialog::createWidgets()
{
    m_chkSendOnEnter =
        checkBox("chkSendOnEnter", 12, 261, u"Отправлять по Enter вместо Ctrl+Enter"_s);
    m_chkiChatStylePlugin =
        checkBox("chkiChatStylePlugin", 36, 209, u"Пометка времени в стиле iChat"_s);
    m_chkNameOnSeparateLine =
        checkBox("chkNameOnSeparateLine", 60, 301, u"Имя и время сообщений на отдельной строке"_s);
    m_chkSortLogsList = checkBox("chkSortLogsList", 84, 181, u"Сортировать список логов"_s);
    m_chkSortLogsDescending =
        checkBox("chkSortLogsDescending", 108, 245, u"Обратный порядок сортировки логов"_s);
    m_chkShowDebugMessages = checkBox("chkShowDebugMessages", 132, 357,
                                      u"Отображать отладочные сообщения (не рекомендуется)"_s);

    // Each colour label is its button's buddy: a screen reader names the
    // captionless button by the colour it sets.
    QLabel *tag = label(0, QRect(16, 164, 95, 14), u"Цвет сообщений"_s);
    m_cmdMessageColor = place<ColorButton>("cmdMessageColor", QRect(188, 160, 205, 21));
    tag->setBuddy(m_cmdMessageColor);
    tag = label(1, QRect(16, 188, 105, 14), u"Цвет моего имени"_s);
    m_cmdMyNameColor = place<ColorButton>("cmdMyNameColor", QRect(188, 184, 205, 21));
    tag->setBuddy(m_cmdMyNameColor);
    tag = label(2, QRect(16, 212, 144, 14), u"Цвет имён собеседников"_s);
    m_cmdOtherNameColor = place<ColorButton>("cmdOtherNameColor", QRect(188, 208, 205, 21));
    tag->setBuddy(m_cmdOtherNameColor);
    tag = label(4, QRect(16, 236, 160, 14), u"Цвет системных сообщений"_s);
    m_cmdSystemColor = place<ColorButton>("cmdSystemColor", QRect(188, 232, 205, 21));
    tag->setBuddy(m_cmdSystemColor);
    tag = label(3, QRect(16, 268, 290, 42),
                u"Открывать данный чат при старте системы. Он будет помещён в папку "
                "Автозагрузка, а не в реестр. Удалить вы сможете ручками ^^"_s);

    m_cmdAddToAutorun = pushButton("cmdAddToAutorun", QRect(316, 264, 77, 49), u"Добавить"_s);
    m_cmdAddToAutorun->setAccessibleDescription(tag->text());
    m_cmdOk = pushButton("cmdOk", QRect(100, 324, 93, 29), u"Ok"_s);
    m_cmdCancel = pushButton("cmdCancel", QRect(200, 324, 93, 29), u"Отмена"_s);
    m_cmdApply = pushButton("cmdApply", QRect(300, 324, 93, 29), u"Применить"_s);
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

void SettingsDialog::connectButtons()
{
    connect(m_cmdOk, &QPushButton::clicked, this, [this] { onOkClicked(); });
    connect(m_cmdApply, &QPushButton::clicked, this, [this] { onApplyClicked(); });
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_cmdAddToAutorun, &QPushButton::clicked, this,
            [this] { addChatToAutostart(this, m_chat); });
    for (ColorButton *button :
         {m_cmdMessageColor, m_cmdMyNameColor, m_cmdOtherNameColor, m_cmdSystemColor}) {
        connect(button, &QPushButton::clicked, this, [this, button] { chooseColor(button); });
    }
}

void SettingsDialog::load()
{
    centerOnScreen(this);
    setWindowIconFromResource(this, u"A_MAIN"_s);
    loadValues();
}

void SettingsDialog::loadValues()
{
    m_chkSendOnEnter->setChecked(appSettings().sendOnEnter);
    m_chkiChatStylePlugin->setChecked(appSettings().timeStamps);
    m_chkNameOnSeparateLine->setChecked(appSettings().nameOnSeparateLine);
    m_chkSortLogsList->setChecked(appSettings().sortLogsList);
    m_chkSortLogsDescending->setChecked(appSettings().sortLogsDescending);
    m_chkShowDebugMessages->setChecked(appSettings().showDebugMessages);
    m_cmdMessageColor->setColor(appSettings().messageColor);
    m_cmdMyNameColor->setColor(appSettings().myNameColor);
    m_cmdOtherNameColor->setColor(appSettings().otherNameColor);
    m_cmdSystemColor->setColor(appSettings().systemColor);
}

void SettingsDialog::storeValues()
{
    appSettings().sendOnEnter = m_chkSendOnEnter->isChecked();
    appSettings().timeStamps = m_chkiChatStylePlugin->isChecked();
    appSettings().nameOnSeparateLine = m_chkNameOnSeparateLine->isChecked();
    appSettings().sortLogsList = m_chkSortLogsList->isChecked();
    appSettings().sortLogsDescending = m_chkSortLogsDescending->isChecked();
    appSettings().showDebugMessages = m_chkShowDebugMessages->isChecked();
    appSettings().messageColor = m_cmdMessageColor->color();
    appSettings().myNameColor = m_cmdMyNameColor->color();
    appSettings().otherNameColor = m_cmdOtherNameColor->color();
    appSettings().systemColor = m_cmdSystemColor->color();
}

bool SettingsDialog::applyValues()
{
    storeValues();
    const Status saved = saveSettings();
    if (!saved)
        reportFailure(saved.error());
    return saved.ok();
}

void SettingsDialog::reportFailure(const Error &error)
{
    Boxes::showError(this, error, BoxStyle{BoxButtons::Ok, BoxIcon::Stop},
                     u"Не удалось сохранить настройки."_s);
}

void SettingsDialog::onOkClicked()
{
    if (applyValues())
        accept();
}

void SettingsDialog::onApplyClicked()
{
    applyValues();
}

void SettingsDialog::chooseColor(ColorButton *button)
{
    ColorDialog dialog;
    dialog.setColor(button->color());
    dialog.setOwnerWindow(this);
    dialog.setCustomColorsText(
        SettingsStore()
            .loadValue(ColorsSection, CustomColorsKey, ValueKind::Text, QString())
            .toString());
    if (!dialog.exec())
        return;
    button->setColor(dialog.color());
    const Status saved = SettingsStore().saveValue(ColorsSection, CustomColorsKey, ValueKind::Text,
                                                   dialog.customColorsText());
    if (!saved)
        reportFailure(saved.error());
}

} // namespace quillet
