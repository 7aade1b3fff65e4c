#include "platform/terminationsignals.h"

#include <csignal>

#include <QSignalSpy>
#include <QTest>

using namespace quillet;

class tst_TerminationSignals final : public QObject
{
    Q_OBJECT

private slots:
    // Each signal arrives once, through the event loop; a second one would end
    // the process, so a hung exit can still be stopped. One catcher per process;
    // once it is gone the signals have their default action again.
    void eachSignalArrivesOnceThroughTheLoop()
    {
        const auto hasDefaultAction = [](int number) {
            struct sigaction current = {};
            return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
        };
        auto catcher = std::make_unique<TerminationSignals>();
        QVERIFY(catcher->isActive() && !TerminationSignals().isActive());
        QSignalSpy received(catcher.get(), &TerminationSignals::received);
        for (int number : {SIGHUP, SIGTERM}) {
            QVERIFY(!hasDefaultAction(number));
            QCOMPARE(::raise(number), 0);
            QCOMPARE(received.count(), number == SIGHUP ? 0 : 1); // not from inside the handler
            QTRY_COMPARE(received.count(), number == SIGHUP ? 1 : 2);
            QCOMPARE(received.last().at(0).toInt(), number);
            QVERIFY(hasDefaultAction(number));
        }
        catcher.reset();
        QVERIFY(TerminationSignals().isActive());
        QVERIFY(hasDefaultAction(SIGTERM) && hasDefaultAction(SIGHUP));
    }
};

QTEST_GUILESS_MAIN(tst_TerminationSignals)
#include "tst_terminationsignals.moc"
