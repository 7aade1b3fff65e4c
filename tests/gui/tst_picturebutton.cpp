#include "gui/picturebutton.h"
#include "gui/resources.h"

#include <QAccessible>
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
        m_button->setGeometry(10, 10, 40, 40); // each test resizes it, which draws its face
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanup() { m_host.reset(); }

    // Centred with the odd pixel dropped; a larger picture is cut off evenly.
    void pictureIsCentred_data()
    {
        QTest::addColumn<QSize>("buttonSize");
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QPoint>("offset"); // where the picture's top left lies
        QTest::newRow("odd remainder") << QSize(45, 45) << QSize(32, 31) << QPoint(6, 7);
        QTest::newRow("larger") << QSize(45, 45) << QSize(60, 59) << QPoint(-7, -7);
    }
    void pictureIsCentred()
    {
        QFETCH(QSize, buttonSize);
        QFETCH(QSize, pictureSize);
        QFETCH(QPoint, offset);
        QVERIFY(m_button->setPicture(coordinates(pictureSize)).ok());
        m_button->resize(buttonSize); // a resize draws the face anew
        const QImage face = m_button->grab().toImage();
        const QRgb background = m_button->palette().color(QPalette::Button).rgb();
        for (const QPoint at : {QPoint(8, 8), QPoint(22, 20), QPoint(36, 37)}) {
            const QPoint in = at - offset;
            const bool inside = in.x() >= 0 && in.y() >= 0 && in.x() < pictureSize.width() &&
                                in.y() < pictureSize.height();
            QCOMPARE(face.pixel(at), inside ? qRgb(in.x() * 3, in.y() * 3, 77) : background);
        }
    }

    // Any mouse button sinks the edge until it is released, wherever that is;
    // only the left one clicks, each press of a double click once, and only when
    // released on the button.
    void mouse()
    {
        QVERIFY(m_button->setPicture(coordinates(QSize(32, 32))).ok());
        m_button->resize(45, 45);
        const QImage raised = m_button->grab().toImage();
        QSignalSpy clicked(m_button, &PictureButton::clicked);
        QWindow *window = m_host->windowHandle();
        const QPoint at = m_button->geometry().center();
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
            QTest::mousePress(window, button, {}, at);
            const QImage sunken = m_button->grab().toImage();
            QVERIFY(sunken.pixel(0, 0) != raised.pixel(0, 0));
            QCOMPARE(sunken.pixel(22, 22), raised.pixel(22, 22)); // the picture does not move
            QTest::mouseMove(window, QPoint(150, 150));
            QCOMPARE(m_button->grab().toImage(), sunken);
            QTest::mouseRelease(window, button, {}, QPoint(150, 150));
            QCOMPARE(m_button->grab().toImage(), raised);
        }
        QTest::mouseClick(window, Qt::RightButton, {}, at);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 1);
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), 3);
    }

    // A screen reader's push button named by the tooltip; Tab reaches it and Space
    // presses it (Esc lets it up without a click), but a mouse click leaves the
    // focus in the box being typed in.
    void keyboardAndScreenReader()
    {
        auto *typing = new QLineEdit(m_host.get());
        typing->setGeometry(80, 10, 100, 25);
        typing->show();
        m_button->setToolTip(u" Просмотр логов (Ctrl+L) "_s);
        QSignalSpy spy(m_button, &PictureButton::clicked);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_button);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name), u"Просмотр логов (Ctrl+L)"_s);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(spy.count(), 1);

        typing->setFocus();
        QTRY_VERIFY(typing->hasFocus());
        QTest::mouseClick(m_host->windowHandle(), Qt::LeftButton, {}, m_button->geometry().center());
        QCOMPARE(spy.count(), 2);
        QVERIFY(typing->hasFocus());
        QTest::keyClick(typing, Qt::Key_Tab);
        QTRY_VERIFY(m_button->hasFocus());
        const QImage raised = m_button->grab().toImage();
        QTest::keyPress(m_button, Qt::Key_Space);
        QVERIFY(m_button->grab().toImage().pixel(0, 0) != raised.pixel(0, 0));
        QTest::keyRelease(m_button, Qt::Key_Space);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(m_button->grab().toImage(), raised);
        QTest::keyPress(m_button, Qt::Key_Space);
        QTest::keyClick(m_button, Qt::Key_Escape);
        QTest::keyRelease(m_button, Qt::Key_Space);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(m_button->grab().toImage(), raised);
    }

    // Pictures come from plain resource names only; broken PNG data is an error,
    // and the empty icon that the tray blinks with shows nothing.
    void picturesFromResources()
    {
        QCOMPARE(resourcePicture(u"../ICONS/A_MAIN/16.png"_s).error().number,
                 int(ErrorCode::ResourceNotFound));
        const QByteArray png = resourcePicture(u"IDP_EXIT"_s).value();
        QCOMPARE(pictureFromPng(png.left(png.size() / 3)).error().number, int(ErrorCode::BadPicture));
        const QImage empty = resourceIcon(u"IDI_EMPTY"_s).pixmap(16, 16).toImage();
        for (int i = 0; i < 16 * 16; ++i)
            QCOMPARE(qAlpha(empty.pixel(i % 16, i / 16)), 0);
    }

private:
    std::unique_ptr<QWidget> m_host;
    PictureButton *m_button = nullptr;
};

QTEST_MAIN(TestPictureButton)
#include "tst_picturebutton.moc"
