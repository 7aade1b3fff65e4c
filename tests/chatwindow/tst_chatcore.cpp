#include "chatwindow/transparency.h"
#include "chatwindow/trayblinker.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

QIcon colouredIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QRgb colourOf(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().pixel(8, 8);
}

} // namespace

class tst_ChatCore final : public QObject
{
    Q_OBJECT

private slots:
    void transparencyAlpha_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("percent");
        QTest::addColumn<int>("alpha");
        QTest::newRow("75 %") << 75 << true << 191;
        QTest::newRow("100 %") << 100 << true << 255;
        QTest::newRow("50 % half to even up") << 50 << true << 128;
        QTest::newRow("10 % half to even up") << 10 << true << 26;
        QTest::newRow("30 % half to even down") << 30 << true << 76;  // 76.5
        QTest::newRow("70 % half to even down") << 70 << true << 178; // 178.5
        QTest::newRow("1 %") << 1 << true << 3;                       // 2.55
        QTest::newRow("0 %") << 0 << true << 0;
        QTest::newRow("150 % clamps") << 150 << true << 255;
        QTest::newRow("-5 % clamps") << -5 << true << 0;
        QTest::newRow("huge % clamps") << std::numeric_limits<int>::max() << true << 255;
        QTest::newRow("raw 300 clamps") << 300 << false << 255;
        QTest::newRow("raw -1 clamps") << -1 << false << 0;
        QTest::newRow("raw 128") << 128 << false << 128;
    }
    void transparencyAlpha()
    {
        QFETCH(int, value);
        QFETCH(bool, percent);
        QFETCH(int, alpha);
        QCOMPARE(quillet::transparencyAlpha(value, percent), alpha);
    }

    void blinkerAlternatesAndRestsOnStop()
    {
        TrayBlinker blinker;
        blinker.setMessageIcon(colouredIcon(Qt::red));
        blinker.setEmptyIcon(colouredIcon(Qt::white));
        blinker.setRestIcon(colouredIcon(Qt::blue));
        QSignalSpy spy(&blinker, &TrayBlinker::iconChanged);

        blinker.setBlinking(true);
        QVERIFY(blinker.isBlinking());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(colourOf(spy.at(0).at(0).value<QIcon>()), QColor(Qt::red).rgb());
        QTRY_VERIFY(spy.count() >= 3);
        QCOMPARE(colourOf(spy.at(1).at(0).value<QIcon>()), QColor(Qt::white).rgb());
        QCOMPARE(colourOf(spy.at(2).at(0).value<QIcon>()), QColor(Qt::red).rgb());

        // Blinking again while blinking changes nothing.
        const qsizetype before = spy.count();
        blinker.setBlinking(true);
        QCOMPARE(spy.count(), before);

        blinker.setBlinking(false);
        QVERIFY(!blinker.isBlinking());
        QCOMPARE(colourOf(spy.last().at(0).value<QIcon>()), QColor(Qt::blue).rgb());
        const qsizetype stopped = spy.count();
        QTest::qWait(2 * TrayBlinker::PhaseMs);
        QCOMPARE(spy.count(), stopped);
        // Stopping a blinker at rest reports nothing.
        blinker.setBlinking(false);
        QCOMPARE(spy.count(), stopped);
    }
};

QTEST_MAIN(tst_ChatCore)
#include "tst_chatcore.moc"
