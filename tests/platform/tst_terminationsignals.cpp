#include "platform/terminationsignals.h"

#include <csignal>

#include <QSignalSpy>
#include <QTest>

using namespace quillet;

namespace {

bool hasDefaultAction(int number)
{
    struct sigaction current = {};
    ::sigaction(number, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

} // namespace

class tst_TerminationSignals final : public QObject
{
    Q_OBJECT

private slots:
    void eachSignalArrivesOnceThroughTheLoop();
    void oneCatcherPerProcess();
};

void tst_TerminationSignals::eachSignalArrivesOnceThroughTheLoop()
{
    TerminationSignals signals_;
    QVERIFY(signals_.isActive());
    QVERIFY(!hasDefaultAction(SIGTERM));
    QVERIFY(!hasDefaultAction(SIGHUP));
    QSignalSpy received(&signals_, &TerminationSignals::received);

    QCOMPARE(::raise(SIGHUP), 0);
    QCOMPARE(received.count(), 0); // not from inside the handler
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toInt(), SIGHUP);
    // A second SIGHUP would now end the process: a hung exit can still be stopped.
    QVERIFY(hasDefaultAction(SIGHUP));
    QVERIFY(!hasDefaultAction(SIGTERM));

    QCOMPARE(::raise(SIGTERM), 0);
    QTRY_COMPARE(received.count(), 2);
    QCOMPARE(received.at(1).at(0).toInt(), SIGTERM);
    QVERIFY(hasDefaultAction(SIGTERM));
}

void tst_TerminationSignals::oneCatcherPerProcess()
{
    {
        TerminationSignals first;
        QVERIFY(first.isActive());
        TerminationSignals second;
        QVERIFY(!second.isActive());
    }
    // Gone: the signals have their default action again, and a new catcher works.
    QVERIFY(hasDefaultAction(SIGTERM));
    QVERIFY(hasDefaultAction(SIGHUP));
    TerminationSignals again;
    QVERIFY(again.isActive());
    QSignalSpy received(&again, &TerminationSignals::received);
    QCOMPARE(::raise(SIGTERM), 0);
    QTRY_COMPARE(received.count(), 1);
}

QTEST_GUILESS_MAIN(tst_TerminationSignals)
#include "tst_terminationsignals.moc"
