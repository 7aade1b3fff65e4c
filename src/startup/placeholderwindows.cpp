#include "windows.h"

#include "appstate.h"
#include "support.h"

#include <QWidget>

// Stand-ins until the chat selection window and the chat window exist: empty
// windows with the final captions.
namespace {

void openEmptyWindow(const QString &objectName, const QString &caption, bool hidden)
{
    auto *window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(objectName);
    window->setWindowTitle(caption);
    window->resize(480, 320);
    if (!hidden)
        window->show();
}

} // namespace

void ShowChatSelection()
{
    openEmptyWindow(QStringLiteral("frmLogin"), QStringLiteral("Quillet IM :: Вход в систему"),
                    false);
}

void OpenChatWindow(bool hidden)
{
    openEmptyWindow(QStringLiteral("frmMain"),
                    QStringLiteral("Quillet IM :: ") + bfGetFileName(ChatFilePath), hidden);
}
