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
    // Centred with the odd pixel dropped; a larger picture is cut off evenly.
    void pictureAndClicks()
    {
        QWidget host;
        host.resize(200, 200);
        auto *button = new PictureButton(&host);
        button->setGeometry(10, 10, 45, 45);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        for (const auto &[size, offset] :
             {std::pair{QSize(32, 31), QPoint(6, 7)}, std::pair{QSize(60, 59), QPoint(-7, -7)}}) {
            QVERIFY(button->setPicture(coordinates(size)).ok());
            button->hide(); // shown again, the button draws its face anew
            button->show();
            const QPoint in = QPoint(8, 8) - offset;
            QCOMPARE(button->grab().toImage().pixel(8, 8), qRgb(in.x() * 3, in.y() * 3, 77));
        }

        // Any mouse button sinks the edge until it is released, wherever that is;
        // only the left one clicks, each press of a double click once, and only when
        // released on the button. A click leaves the focus in the box being typed in;
        // Space, from the keyboard, holds the button down and clicks on release.
        auto *typing = new QLineEdit(&host);
        typing->move(80, 10);
        typing->show();
        typing->setFocus();
        QVERIFY(button->setPicture(coordinates(QSize(32, 32))).ok());
        button->resize(44, 44); // a resize draws the face anew
        const QImage raised = button->grab().toImage();
        QSignalSpy clicked(button, &PictureButton::clicked);
        QWindow *window = host.windowHandle();
        const QPoint at = button->geometry().center();
        for (const Qt::MouseButton mouse : {Qt::RightButton, Qt::LeftButton}) {
            QTest::mousePress(window, mouse, {}, at);
            const QImage sunken = button->grab().toImage();
            QVERIFY(sunken.pixel(0, 0) != raised.pixel(0, 0));
            QTest::mouseMove(window, QPoint(150, 150));
            QCOMPARE(button->grab().toImage(), sunken);
            QTest::mouseRelease(window, mouse, {}, QPoint(150, 150));
            QCOMPARE(button->grab().toImage(), raised);
        }
        QTest::mouseClick(window, Qt::RightButton, {}, at);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(typing->hasFocus());
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 3);
        QTest::keyPress(button, Qt::Key_Space);
        QVERIFY(button->grab().toImage() != raised);
        QTest::keyRelease(button, Qt::Key_Space);
        QCOMPARE(button->grab().toImage(), raised);
        QCOMPARE(clicked.count(), 4);
    }
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
