#pragma once

#include <QWidget>

class QLabel;
class ucButton;

// The chat selection window: create a new chat file, open an existing one, or
// leave. A chat once chosen and claimed replaces this window by the chat
// window; a cancelled dialog, a failed creation or a folder held by another
// running copy leave it open for another try.
class frmLogin final : public QWidget
{
    Q_OBJECT

public:
    explicit frmLogin(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(frmLogin)

    // The file dialogs' filter: chat files first, then all files.
    static QString ChatFileFilter();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createWidgets();
    QLabel *tag(int index, const QRect &geometry, const QString &text);
    void Form_Load();
    void LoadButtonPictures();
    void SetLabelFonts();
    void ucbCreateChat_Click();
    void ucbOpenChat_Click();
    // Makes `path` the current chat, claims its folder and opens the chat window.
    void EnterChat(const QString &path);

    ucButton *m_ucbCreateChat = nullptr;
    ucButton *m_ucbOpenChat = nullptr;
    ucButton *m_ucbExit = nullptr;
    QList<QLabel *> m_lblTag;
};
