#include "gui/picturebutton.h"
#include "gui/resources.h"

#include <QAccessible>
#include <QPainter>

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
            button->setPicture(coordinates(size));
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
        button->setPicture(coordinates(QSize(32, 32)));
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

        // A screen reader speaks the tooltip, without its padding, as a push button's name.
        button->setToolTip(u" Выход (Shift+Esc) "_s);
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(button);
        QCOMPARE(spoken->role(), QAccessible::Button);
        QCOMPARE(spoken->text(QAccessible::Name), u"Выход (Shift+Esc)"_s);
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
        QCOMPARE(art.size(), QSize(32, 32) * ratio);

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

        // The window and tray icons, the blink phases among them, have art for
        // twice every size a tray asks for.
        for (const QString &icon : {u"A_MAIN"_s, u"IDI_MESSAGE"_s, u"IDI_EMPTY"_s}) {
            const QList<QSize> sizes = resourceIcon(icon).availableSizes();
            for (int side : {16, 22, 24, 32})
                QVERIFY2(std::any_of(sizes.begin(), sizes.end(),
                                     [side](QSize size) { return size.width() >= 2 * side; }),
                         qPrintable(icon));
        }
    }
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
