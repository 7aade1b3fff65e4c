#include "windows.h"

#include <QWidget>

// Stand-in until the chat selection window exists: an empty window with its final caption.
void ShowChatSelection()
{
    auto *window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("frmLogin"));
    window->setWindowTitle(QStringLiteral("Quillet IM :: Вход в систему"));
    window->resize(489, 317);
    window->show();
}
