#pragma once

#include <QWidget>

class QLabel;

namespace quillet {

class PictureButton;

// The chat selection window: create a new chat file, open an existing one, or
// leave. It announces the chosen chat file; whoever opens the chat closes this
// window, or leaves it open for another try (a folder held by another copy).
class ChatSelectionWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit ChatSelectionWindow(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ChatSelectionWindow)

    // The file dialogs' filter: chat files first, then all files.
    static QString chatFileFilter();

signals:
    // A chat file was created or picked: the full path of the chat file.
    void chatChosen(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createWidgets();
    QLabel *tag(int index, const QString &text);
    void layOut();
    void load();
    void loadButtonPictures();
    void setLabelFonts();
    void createChat();
    void openChat();
    void enterChat(const QString &path);

    PictureButton *m_ucbCreateChat = nullptr;
    PictureButton *m_ucbOpenChat = nullptr;
    PictureButton *m_ucbExit = nullptr;
    QList<QLabel *> m_lblTag;
};

} // namespace quillet
