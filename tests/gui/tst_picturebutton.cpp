#include "gui/picturebutton.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Every pixel tells its own coordinates, so a crop can be checked exactly.
QPixmap coordinates(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 3, y * 3, 77));
    return QPixmap::fromImage(image);
}

} // namespace

class TestPictureButton final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_host = std::make_unique<QWidget>();
        m_host->resize(200, 200);
        m_button = new PictureButton(m_host.get());
        m_button->setGeometry(10, 10, 45, 45);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanup() { m_host.reset(); }

    // Centred with the odd pixel dropped; a larger picture is cut off evenly.
    void pictureIsCentred()
    {
        for (const auto &[size, offset] :
             {std::pair{QSize(32, 31), QPoint(6, 7)}, std::pair{QSize(60, 59), QPoint(-7, -7)}}) {
            QVERIFY(m_button->setPicture(coordinates(size)).ok());
            m_button->hide(); // shown again, the button draws its face anew
            m_button->show();
            const QPoint in = QPoint(8, 8) - offset;
            QCOMPARE(m_button->grab().toImage().pixel(8, 8), qRgb(in.x() * 3, in.y() * 3, 77));
        }
    }

    // Any mouse button sinks the edge until it is released, wherever that is;
    // only the left one clicks, each press of a double click once, and only when
    // released on the button. A click leaves the focus in the box being typed in;
    // Space, from the keyboard, holds the button down and clicks on release.
    void mouseAndKeyboard()
    {
        auto *typing = new QLineEdit(m_host.get());
        typing->move(80, 10);
        typing->show();
        typing->setFocus();
        QVERIFY(m_button->setPicture(coordinates(QSize(32, 32))).ok());
        m_button->resize(44, 44); // a resize draws the face anew
        const QImage raised = m_button->grab().toImage();
        QSignalSpy clicked(m_button, &PictureButton::clicked);
        QWindow *window = m_host->windowHandle();
        const QPoint at = m_button->geometry().center();
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
            QTest::mousePress(window, button, {}, at);
            const QImage sunken = m_button->grab().toImage();
            QVERIFY(sunken.pixel(0, 0) != raised.pixel(0, 0));
            QTest::mouseMove(window, QPoint(150, 150));
            QCOMPARE(m_button->grab().toImage(), sunken);
            QTest::mouseRelease(window, button, {}, QPoint(150, 150));
            QCOMPARE(m_button->grab().toImage(), raised);
        }
        QTest::mouseClick(window, Qt::RightButton, {}, at);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(typing->hasFocus());
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 3);
        QTest::keyPress(m_button, Qt::Key_Space);
        QVERIFY(m_button->grab().toImage() != raised);
        QTest::keyRelease(m_button, Qt::Key_Space);
        QCOMPARE(m_button->grab().toImage(), raised);
        QCOMPARE(clicked.count(), 4);
    }

private:
    std::unique_ptr<QWidget> m_host;
    PictureButton *m_button = nullptr;
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
