#include "windows.h"

#include "appstate.h"
#include "support.h"

#include <QWidget>

// Stand-in until the chat window exists: an empty window with its final caption.
void OpenChatWindow(bool hidden)
{
    auto *window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("frmMain"));
    window->setWindowTitle(QStringLiteral("Quillet IM :: ") + bfGetFileName(ChatFilePath));
    window->resize(478, 338);
    if (!hidden)
        window->show();
}
