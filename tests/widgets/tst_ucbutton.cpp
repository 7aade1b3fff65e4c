#include "gui/picturebutton.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

QPixmap solid(int width, int height, QColor colour)
{
    QPixmap pixmap(width, height);
    pixmap.fill(colour);
    return pixmap;
}

// Every pixel tells its own coordinates, so a crop can be checked exactly.
QPixmap coordinates(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 3, y * 3, 77));
    return QPixmap::fromImage(image);
}

// Showing the button again redraws its face.
void reshow(PictureButton &button, QSize size)
{
    button.hide();
    button.resize(size);
    button.show();
}

QRgb pixel(QWidget &widget, int x, int y)
{
    return widget.grab().toImage().pixel(x, y);
}

// Mouse input through the window system, as a real pointer delivers it (a
// second press soon after the first becomes a double click there).
QPoint inWindow(PictureButton &button)
{
    return button.mapTo(button.window(), button.rect().center());
}

} // namespace

class tst_ucButton final : public QObject
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
        m_background = m_button->palette().color(QPalette::Button).rgb();
    }
    void cleanup() { m_host.reset(); }

    void pictureIsCentredRoundingTowardsZero_data()
    {
        QTest::addColumn<QSize>("buttonSize");
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("32 on 45") << QSize(45, 45) << QSize(32, 32) << QPoint(6, 6);
        QTest::newRow("16 on 21") << QSize(21, 21) << QSize(16, 16) << QPoint(2, 2);
        QTest::newRow("wide picture") << QSize(45, 45) << QSize(20, 9) << QPoint(12, 18);
        QTest::newRow("even") << QSize(44, 44) << QSize(32, 32) << QPoint(6, 6);
    }
    void pictureIsCentredRoundingTowardsZero()
    {
        QFETCH(QSize, buttonSize);
        QFETCH(QSize, pictureSize);
        QFETCH(QPoint, topLeft);
        const QColor red(Qt::red);
        QVERIFY(m_button->setPicture(solid(pictureSize.width(), pictureSize.height(), red)).ok());
        reshow(*m_button, buttonSize);
        const QImage face = m_button->grab().toImage();
        QCOMPARE(face.pixel(topLeft), red.rgb());
        QCOMPARE(face.pixel(topLeft + QPoint(pictureSize.width() - 1, pictureSize.height() - 1)),
                 red.rgb());
        QCOMPARE(face.pixel(topLeft - QPoint(1, 1)), m_background);
        QCOMPARE(face.pixel(topLeft + QPoint(pictureSize.width(), pictureSize.height())),
                 m_background);
    }

    void largerPictureIsCutOffEvenly()
    {
        QVERIFY(m_button->setPicture(coordinates(60, 59)).ok());
        reshow(*m_button, QSize(45, 45));
        // (45 - 60) / 2 = -7 and (45 - 59) / 2 = -7: button (10, 20) shows picture (17, 27).
        QCOMPARE(pixel(*m_button, 10, 20), qRgb(17 * 3, 27 * 3, 77));
        QCOMPARE(pixel(*m_button, 22, 22), qRgb(29 * 3, 29 * 3, 77));
    }

    void withoutPictureOnlyBackgroundAndEdge()
    {
        m_button->resize(45, 46); // a resize redraws the face
        const QImage face = m_button->grab().toImage();
        QCOMPARE(face.pixel(22, 22), m_background);
        QVERIFY(face.pixel(0, 0) != m_background || face.pixel(44, 45) != m_background);
    }

    void anyMouseButtonShowsSunkenEdge_data()
    {
        QTest::addColumn<Qt::MouseButton>("mouseButton");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }
    void anyMouseButtonShowsSunkenEdge()
    {
        QFETCH(Qt::MouseButton, mouseButton);
        QVERIFY(m_button->setPicture(solid(32, 32, Qt::blue)).ok());
        reshow(*m_button, QSize(45, 45));
        const QImage raised = m_button->grab().toImage();
        QWindow *window = m_host->windowHandle();
        QTest::mousePress(window, mouseButton, {}, inWindow(*m_button));
        const QImage sunken = m_button->grab().toImage();
        QVERIFY(sunken.pixel(0, 0) != raised.pixel(0, 0));
        QCOMPARE(sunken.pixel(6, 6), QColor(Qt::blue).rgb()); // the picture does not move
        // Still sunken after the pointer left the button, raised once released.
        QTest::mouseMove(window, QPoint(150, 150));
        QCOMPARE(m_button->grab().toImage(), sunken);
        QTest::mouseRelease(window, mouseButton, {}, QPoint(150, 150));
        QCOMPARE(m_button->grab().toImage(), raised);
    }

    void settingPictureShowsOnlyAtNextRedraw()
    {
        m_button->resize(45, 45);
        const QImage before = m_button->grab().toImage();
        QVERIFY(m_button->setPicture(solid(32, 32, Qt::green)).ok());
        m_button->update();
        QCOMPARE(m_button->grab().toImage(), before);
        QTest::mousePress(m_host->windowHandle(), Qt::RightButton, {}, inWindow(*m_button));
        QCOMPARE(pixel(*m_button, 6, 6), QColor(Qt::green).rgb());
        QTest::mouseRelease(m_host->windowHandle(), Qt::RightButton, {}, inWindow(*m_button));
    }

    void nullPictureRemovesIt()
    {
        QVERIFY(m_button->setPicture(solid(32, 32, Qt::green)).ok());
        QVERIFY(m_button->setPicture(QPixmap()).ok());
        QVERIFY(m_button->picture().isNull());
        reshow(*m_button, QSize(45, 45));
        QCOMPARE(pixel(*m_button, 22, 22), m_background);
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("clicks");
        QTest::newRow("left click") << u"click"_s << 1;
        QTest::newRow("double click") << u"double"_s << 2;
        QTest::newRow("right click") << u"right"_s << 0;
        QTest::newRow("released outside") << u"outside"_s << 0;
        QTest::newRow("click") << u"clickme"_s << 1;
        QTest::newRow("click disabled") << u"clickme disabled"_s << 0;
    }
    void clicks()
    {
        QFETCH(QString, action);
        QFETCH(int, clicks);
        QSignalSpy spy(m_button, &PictureButton::clicked);
        QWindow *window = m_host->windowHandle();
        const QPoint at = inWindow(*m_button);
        if (action == "click"_L1) {
            QTest::mouseClick(window, Qt::LeftButton, {}, at);
        } else if (action == "double"_L1) {
            QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        } else if (action == "right"_L1) {
            QTest::mouseClick(window, Qt::RightButton, {}, at);
        } else if (action == "outside"_L1) {
            QTest::mousePress(window, Qt::LeftButton, {}, at);
            QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 150));
        } else if (action == "clickme"_L1) {
            m_button->click();
        } else {
            m_button->setEnabled(false);
            m_button->click();
        }
        QCOMPARE(spy.count(), clicks);
    }

    // What a screen reader and a keyboard user get: a named push button that
    // Space and the accessibility press action click, and that a mouse click
    // does not take the focus from the box being typed in.
    void keyboardAndScreenReader()
    {
        auto *typing = new QLineEdit(m_host.get());
        typing->setGeometry(80, 10, 100, 25);
        typing->show();
        m_button->setToolTip(u" Просмотр логов (Ctrl+L) "_s);
        QVERIFY(m_button->setPicture(solid(32, 32, Qt::blue)).ok());
        reshow(*m_button, QSize(45, 45));
        QSignalSpy spy(m_button, &PictureButton::clicked);

        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_button);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name), u"Просмотр логов (Ctrl+L)"_s);
        // Without a tooltip, the label that names the button beside it.
        auto *exit = new PictureButton(m_host.get());
        auto *heading = new QLabel(u"Выход из программы"_s, m_host.get());
        heading->setBuddy(exit);
        QCOMPARE(QAccessible::queryAccessibleInterface(exit)->text(QAccessible::Name),
                 u"Выход из программы"_s);
        QVERIFY(accessible->actionInterface());
        QVERIFY(accessible->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(spy.count(), 1);

        typing->setFocus();
        QTRY_VERIFY(typing->hasFocus());
        QTest::mouseClick(m_host->windowHandle(), Qt::LeftButton, {}, inWindow(*m_button));
        QCOMPARE(spy.count(), 2);
        QVERIFY(typing->hasFocus());

        QTest::keyClick(typing, Qt::Key_Tab);
        QTRY_VERIFY(m_button->hasFocus());
        const QImage raised = m_button->grab().toImage();
        QTest::keyPress(m_button, Qt::Key_Space);
        QVERIFY(m_button->grab().toImage().pixel(0, 0) != raised.pixel(0, 0));
        QCOMPARE(spy.count(), 2);
        QTest::keyRelease(m_button, Qt::Key_Space);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(m_button->grab().toImage(), raised);
        // Esc lets a held button up without a click.
        QTest::keyPress(m_button, Qt::Key_Space);
        QTest::keyClick(m_button, Qt::Key_Escape);
        QTest::keyRelease(m_button, Qt::Key_Space);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(m_button->grab().toImage(), raised);
    }

private:
    std::unique_ptr<QWidget> m_host;
    PictureButton *m_button = nullptr;
    QRgb m_background = 0;
};

QTEST_MAIN(tst_ucButton)
#include "tst_ucbutton.moc"
