#pragma once

#include <QPointer>

namespace quillet {

// The one open window of a kind. show() brings the open one to the front, or
// the one `create` makes when none is open; forget() lets a closing window be
// built anew the next time.
template <class Window> class SingleWindow final
{
public:
    Window *window() const { return m_window.data(); }

    template <class Create> Window *show(Create create)
    {
        if (!m_window)
            m_window = create();
        if (m_window->isMinimized())
            m_window->showNormal();
        else
            m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return m_window.data();
    }

    void forget(const Window *window)
    {
        if (m_window == window)
            m_window.clear();
    }

private:
    QPointer<Window> m_window;
};

} // namespace quillet
