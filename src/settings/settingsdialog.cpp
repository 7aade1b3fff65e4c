#include "settings/settingsdialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/settingsstore.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/layout.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/singlewindow.h"
#include "settings/autostart.h"
#include "settings/colorbutton.h"
#include "settings/settings.h"
#include "spelling/spellchecker.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

SingleWindow<SettingsDialog> &openWindow()
{
    static SingleWindow<SettingsDialog> window;
    return window;
}

const QString ColorsSection = u"Colors"_s;

// The dialog's design, in pixels at 96 dpi; a part grows where the desktop's
// font needs more room.
constexpr int AutostartLabel = 3;
constexpr int AutostartTextWidth = 290;
constexpr QSize ColorButtonSize(205, 21);
constexpr QSize AutostartButtonSize(77, 49);
constexpr QSize DialogButtonSize(93, 29);
constexpr int LabelIndent = 4;
constexpr int RowSpacing = 7;
constexpr int ColorRowSpacing = 3;
constexpr int ColorColumnSpacing = 12;
constexpr int GroupSpacing = 11;
constexpr int AutostartSpacing = 10;
constexpr int ButtonSpacing = 7;
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

template <class W> W *SettingsDialog::place(const char *name, QSize designSize)
{
    auto *widget = new W(this);
    widget->setObjectName(QLatin1String(name));
    setDesignSize(widget, designSize);
    return widget;
}

QCheckBox *SettingsDialog::checkBox(const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption, this);
    box->setObjectName(QLatin1String(name));
    return box;
}

QPushButton *SettingsDialog::pushButton(const char *name, QSize designSize, const QString &caption)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    setDesignSize(button, designSize);
    return button;
}

QLabel *SettingsDialog::label(int index, const QString &caption)
{
    auto *tag = index == AutostartLabel ? new WrappedLabel(caption, AutostartTextWidth, this)
                                        : new QLabel(caption, this);
    tag->setObjectName(u"lblTag%1"_s.arg(index));
    return tag;
}

void SettingsDialog::createWidgets()
{
    m_chkSendOnEnter = checkBox("chkSendOnEnter", u"Отправлять по Enter вместо Ctrl+Enter"_s);
    m_chkiChatStylePlugin = checkBox("chkiChatStylePlugin", u"Пометка времени в стиле iChat"_s);
    m_chkNameOnSeparateLine =
        checkBox("chkNameOnSeparateLine", u"Имя и время сообщений на отдельной строке"_s);
    m_chkSortLogsList = checkBox("chkSortLogsList", u"Сортировать список логов"_s);
    m_chkSortLogsDescending =
        checkBox("chkSortLogsDescending", u"Обратный порядок сортировки логов"_s);
    m_chkShowDebugMessages =
        checkBox("chkShowDebugMessages", u"Отображать отладочные сообщения (не рекомендуется)"_s);
    m_chkNewMessageSound = checkBox("chkNewMessageSound", u"Звук при новом сообщении"_s);
    m_chkCheckSpelling = checkBox("chkCheckSpelling", u"Проверять орфографию"_s);
    m_chkShowEarlierMessages =
        checkBox("chkShowEarlierMessages", u"Показывать прошлые сообщения при открытии чата"_s);
    if (!spellingDictionariesPresent()) {
        m_chkCheckSpelling->setEnabled(false);
        m_chkCheckSpelling->setToolTip(missingDictionariesToolTip());
    }

    m_cmdMessageColor = place<ColorButton>("cmdMessageColor", ColorButtonSize);
    m_cmdMyNameColor = place<ColorButton>("cmdMyNameColor", ColorButtonSize);
    m_cmdOtherNameColor = place<ColorButton>("cmdOtherNameColor", ColorButtonSize);
    m_cmdSystemColor = place<ColorButton>("cmdSystemColor", ColorButtonSize);
    m_colorLabels = {label(0, u"Цвет сообщений"_s), label(1, u"Цвет моего имени"_s),
                     label(2, u"Цвет имён собеседников"_s),
                     label(4, u"Цвет системных сообщений"_s)};
    m_autostartLabel =
        label(AutostartLabel, u"Открывать данный чат при старте системы. Он будет помещён в папку "
                              "Автозагрузка, а не в реестр. Удалить вы сможете ручками ^^"_s);

    m_cmdAddToAutorun = pushButton("cmdAddToAutorun", AutostartButtonSize, u"Добавить"_s);
    m_cmdAddToAutorun->setAccessibleDescription(m_autostartLabel->text());
    m_cmdOk = pushButton("cmdOk", DialogButtonSize, u"Ok"_s);
    m_cmdCancel = pushButton("cmdCancel", DialogButtonSize, u"Отмена"_s);
    m_cmdApply = pushButton("cmdApply", DialogButtonSize, u"Применить"_s);
    m_cmdOk->setDefault(true);

    const QList<QWidget *> tabOrder{m_chkSendOnEnter,
                                    m_chkiChatStylePlugin,
                                    m_chkNameOnSeparateLine,
                                    m_chkSortLogsList,
                                    m_chkSortLogsDescending,
                                    m_chkShowDebugMessages,
                                    m_chkNewMessageSound,
                                    m_chkCheckSpelling,
                                    m_chkShowEarlierMessages,
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
    layOut();
}

// Three groups under each other: the check boxes, the colours with their
// names, the autostart; then the dialog's buttons on the right. The dialog
// is as large as its content and cannot be resized.
void SettingsDialog::layOut()
{
    auto *checks = new QVBoxLayout;
    checks->setSpacing(RowSpacing);
    for (QCheckBox *box : {m_chkSendOnEnter, m_chkiChatStylePlugin, m_chkNameOnSeparateLine,
                           m_chkSortLogsList, m_chkSortLogsDescending, m_chkShowDebugMessages,
                           m_chkNewMessageSound, m_chkCheckSpelling, m_chkShowEarlierMessages})
        checks->addWidget(box, 0, Qt::AlignLeft);

    // Each colour label is its button's buddy: a screen reader names the
    // captionless button by the colour it sets.
    auto *colors = new QGridLayout;
    colors->setContentsMargins(LabelIndent, 0, 0, 0);
    colors->setHorizontalSpacing(ColorColumnSpacing);
    colors->setVerticalSpacing(ColorRowSpacing);
    ColorButton *const colorButtons[] = {m_cmdMessageColor, m_cmdMyNameColor, m_cmdOtherNameColor,
                                         m_cmdSystemColor};
    for (int row = 0; row < 4; ++row) {
        m_colorLabels[row]->setBuddy(colorButtons[row]);
        colors->addWidget(m_colorLabels[row], row, 0);
        colors->addWidget(colorButtons[row], row, 1, Qt::AlignRight);
    }
    colors->setColumnStretch(0, 1);

    auto *autostart = new QHBoxLayout;
    autostart->setContentsMargins(LabelIndent, 0, 0, 0);
    autostart->setSpacing(AutostartSpacing);
    autostart->addWidget(m_autostartLabel, 1, Qt::AlignVCenter);
    autostart->addWidget(m_cmdAddToAutorun, 0, Qt::AlignVCenter);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(ButtonSpacing);
    buttons->addStretch(1);
    for (QPushButton *button : {m_cmdOk, m_cmdCancel, m_cmdApply})
        buttons->addWidget(button);

    auto *dialog = new QVBoxLayout(this);
    dialog->setContentsMargins(12, 12, 8, 8);
    dialog->setSpacing(GroupSpacing);
    dialog->setSizeConstraint(QLayout::SetFixedSize);
    dialog->addLayout(checks);
    dialog->addLayout(colors);
    dialog->addLayout(autostart);
    dialog->addLayout(buttons);
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
    m_chkNewMessageSound->setChecked(appSettings().newMessageSound);
    m_chkCheckSpelling->setChecked(appSettings().checkSpelling);
    m_chkShowEarlierMessages->setChecked(appSettings().showEarlierMessages);
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
    appSettings().newMessageSound = m_chkNewMessageSound->isChecked();
    appSettings().checkSpelling = m_chkCheckSpelling->isChecked();
    appSettings().showEarlierMessages = m_chkShowEarlierMessages->isChecked();
    appSettings().messageColor = m_cmdMessageColor->color();
    appSettings().myNameColor = m_cmdMyNameColor->color();
    appSettings().otherNameColor = m_cmdOtherNameColor->color();
    appSettings().systemColor = m_cmdSystemColor->color();
}

bool SettingsDialog::applyValues()
{
    storeValues();
    const Status saved = saveSettings();
    emit applied();
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
