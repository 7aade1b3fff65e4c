#include "gui/picturebutton.h"
#include "gui/resources.h"

#include <QPainter>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestPictureButton final : public QObject
{
    Q_OBJECT

private slots:
    // Only the left mouse button clicks, each press of a double click once, and
    // only when released on the button. A click leaves the focus in the box being
    // typed in; Space, from the keyboard, clicks on release.
    void clicks()
    {
        QWidget host;
        host.resize(200, 200);
        auto *button = new PictureButton(&host);
        button->setGeometry(10, 10, 44, 44);
        auto *typing = new QLineEdit(&host);
        typing->move(80, 10);
        typing->show();
        typing->setFocus();
        QPixmap picture(32, 32);
        picture.fill(Qt::blue);
        button->setPicture(picture);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QSignalSpy clicked(button, &PictureButton::clicked);
        QWindow *window = host.windowHandle();
        const QPoint at = button->geometry().center();
        QTest::mousePress(window, Qt::LeftButton, {}, at);
        QTest::mouseMove(window, QPoint(150, 150));
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 150));
        QTest::mouseClick(window, Qt::RightButton, {}, at);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(typing->hasFocus());
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 3);
        QTest::keyPress(button, Qt::Key_Space);
        QCOMPARE(clicked.count(), 3);
        QTest::keyRelease(button, Qt::Key_Space);
        QCOMPARE(clicked.count(), 4);
    }

    // Every device pixel of the face comes from a pixel of the art: the
    // picture itself at a pixel ratio of 1, its double size at 2 (run so by
    // CTest), never a picture stretched.
    void sharpPictures()
    {
        QWidget host;
        auto *button = new PictureButton(&host);
        button->setGeometry(0, 0, 45, 45);
        button->setPictureFromResource(u"IDP_SETTINGS"_s);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const qreal ratio = button->devicePixelRatioF();
        QVERIFY(ratio == 1.0 || ratio == 2.0);
        const QString name = ratio > 1 ? doubleSizeName(u"IDP_SETTINGS"_s) : u"IDP_SETTINGS"_s;
        const QImage art = QImage::fromData(resourcePicture(name).value());

        QImage expected(art.size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(button->palette().color(QPalette::Button));
        QPainter(&expected).drawImage(0, 0, art);
        const QImage face = button->grab().toImage().convertToFormat(expected.format());
        const int offset = int(6 * ratio); // (45 - 32) / 2 pixels on each side
        int worst = 0;
        for (int y = 0; y < art.height(); ++y)
            for (int x = 0; x < art.width(); ++x) {
                const QRgb want = expected.pixel(x, y);
                const QRgb got = face.pixel(x + offset, y + offset);
                worst = std::max({worst, std::abs(qRed(want) - qRed(got)),
                                  std::abs(qGreen(want) - qGreen(got)),
                                  std::abs(qBlue(want) - qBlue(got))});
            }
        QVERIFY2(worst <= 2, qPrintable(u"a pixel is off by %1"_s.arg(worst)));
    }
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
