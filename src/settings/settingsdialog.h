#pragma once

#include <QDialog>

#include <array>

#include "core/chatcontext.h"
#include "core/error.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace quillet {

class ColorButton;

// Shows the program's one settings window, owned by `owner` (the chat window)
// and not modal. The window is created on first use; while it is open, showing
// it again keeps the user's unsaved edits; once closed, it is built again from
// Settings the next time.
void showSettingsDialog(QWidget *owner, const ChatContext &chat);

// The settings dialog. It edits copies: Settings changes, and is saved, only
// by OK and Apply; Cancel, Esc and the close box discard the edits.
class SettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(QWidget *owner, const ChatContext &chat);
    ~SettingsDialog() override;
    Q_DISABLE_COPY_MOVE(SettingsDialog)

    // The open settings window, or null.
    static SettingsDialog *instance();

    void done(int result) override;

signals:
    // OK or Apply changed Settings; the running chat takes them at once.
    void applied();

private:
    template <class W> W *place(const char *name, QSize designSize);
    QCheckBox *checkBox(const char *name, const QString &caption);
    QPushButton *pushButton(const char *name, QSize designSize, const QString &caption);
    QLabel *label(int index, const QString &caption);
    void createWidgets();
    void layOut();
    void connectButtons();
    void load();
    void loadValues();
    void storeValues();
    void onOkClicked();
    void onApplyClicked();
    bool applyValues();
    void reportFailure(const Error &error);
    void chooseColor(ColorButton *button);

    QCheckBox *m_chkSendOnEnter = nullptr;
    QCheckBox *m_chkiChatStylePlugin = nullptr;
    QCheckBox *m_chkNameOnSeparateLine = nullptr;
    QCheckBox *m_chkSortLogsList = nullptr;
    QCheckBox *m_chkSortLogsDescending = nullptr;
    QCheckBox *m_chkShowDebugMessages = nullptr;
    QCheckBox *m_chkNewMessageSound = nullptr;
    QCheckBox *m_chkCheckSpelling = nullptr;
    QCheckBox *m_chkShowEarlierMessages = nullptr;
    ColorButton *m_cmdMessageColor = nullptr;
    ColorButton *m_cmdMyNameColor = nullptr;
    ColorButton *m_cmdOtherNameColor = nullptr;
    ColorButton *m_cmdSystemColor = nullptr;
    QPushButton *m_cmdAddToAutorun = nullptr;
    QPushButton *m_cmdOk = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QPushButton *m_cmdApply = nullptr;
    std::array<QLabel *, 4> m_colorLabels{};
    QLabel *m_autostartLabel = nullptr;
    ChatContext m_chat;
};

} // namespace quillet
