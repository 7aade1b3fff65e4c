#include "gui/dialogs.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

using namespace quillet;
using namespace Qt::StringLiterals;

// The file and colour dialog seams and the custom colour text.
class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        FileDialog::resetHandler();
        ColorDialog::resetHandler();
    }

    void rgbValuesKeepRedLowest()
    {
        QCOMPARE(colorFromRgbValue(0x00FF0080), QColor(0x80, 0x00, 0xFF));
        QCOMPARE(rgbValueFromColor(QColor(0x12, 0x34, 0x56)), 0x00563412);
        QCOMPARE(rgbValueFromColor(QColor::fromHsv(120, 255, 128)),
                 rgbValueFromColor(QColor::fromHsv(120, 255, 128).toRgb()));
    }

    void parseCustomColors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint32>>("expected");
        const qint32 w = 0xFFFFFF;
        const QList<qint32> whites(16, w);
        QTest::newRow("empty") << QString() << whites;
        QList<qint32> three = whites;
        three[0] = 255;
        three[1] = 65280;
        three[2] = 0;
        QTest::newRow("fewer") << u"255,65280,0"_s << three;
        QList<qint32> garbage = whites;
        garbage[4] = 7;
        garbage[5] = 16777215;
        QTest::newRow("unreadable entries") << u"abc,,-1,16777216, 7 ,16777215,0x10"_s << garbage;
        QList<qint32> counted;
        for (int i = 0; i < 16; ++i)
            counted.append(i * 1000);
        QStringList many;
        for (int i = 0; i < 40; ++i)
            many.append(QString::number(i * 1000));
        QTest::newRow("more than sixteen") << many.join(','_L1) << counted;
        QTest::newRow("binary") << u"\x01\xff,\n,"_s << whites;
    }

    void parseCustomColors()
    {
        QFETCH(QString, text);
        QFETCH(QList<qint32>, expected);
        QCOMPARE(ColorDialog::parseCustomColors(text), expected);
    }

    void customColorsRoundTrip()
    {
        const QString text =
            u"0,1,255,65280,16711680,16777215,8421504,12,13,14,15,16,17,18,19,20"_s;
        QCOMPARE(ColorDialog::formatCustomColors(ColorDialog::parseCustomColors(text)), text);
    }

    void fileDialogAnswers()
    {
        QWidget owner;
        QList<FileDialog::Request> seen;
        FileDialog::setHandler([&seen](const FileDialog::Request &request) {
            seen.append(request);
            return FileDialog::Reply{request.mode == FileDialog::Mode::Save, u"/x/a.QLIMChat"_s};
        });
        FileDialog dialog;
        dialog.setFilter(u"F (*.f)"_s);
        dialog.setInitialFolder(u"/x"_s);
        dialog.setOwnerWindow(&owner);
        QVERIFY(dialog.showSave());
        QCOMPARE(dialog.fileName(), u"/x/a.QLIMChat"_s);
        QVERIFY(!dialog.showOpen());
        QCOMPARE(dialog.fileName(), QString());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].mode, FileDialog::Mode::Save);
        QCOMPARE(seen[1].mode, FileDialog::Mode::Open);
        QCOMPARE(seen[1].filter, u"F (*.f)"_s);
        QCOMPARE(seen[1].initialFolder, u"/x"_s);
        QCOMPARE(seen[1].owner, &owner);
    }

    // A confirmation without a file name is no confirmation.
    void confirmedWithoutNameIsCancelled()
    {
        FileDialog::setHandler([](const FileDialog::Request &) {
            return FileDialog::Reply{true, QString()};
        });
        FileDialog dialog;
        QVERIFY(!dialog.showOpen());
    }

    void colorDialogTakesTheChoiceOnlyWhenConfirmed()
    {
        bool confirm = false;
        ColorDialog::setHandler([&confirm](const ColorDialog::Request &request) {
            return ColorDialog::Reply{confirm, 0x7F123456, request.customColors + u",1"_s};
        });
        ColorDialog dialog;
        dialog.setColor(0x00FF00);
        dialog.setCustomColorsText(u"5"_s);
        QVERIFY(!dialog.exec());
        QCOMPARE(dialog.color(), 0x00FF00);
        QCOMPARE(dialog.customColorsText(), u"5"_s);
        confirm = true;
        QVERIFY(dialog.exec());
        QCOMPARE(dialog.color(), 0x123456); // the top byte is not a colour
        QCOMPARE(dialog.customColorsText(), u"5,1"_s);
    }

    // Headless and unanswered, a dialog is cancelled instead of waiting for nobody.
    void unansweredHeadlessDialogsAreCancelled()
    {
        QTest::ignoreMessage(QtWarningMsg, "File dialog cancelled: no screen and no answer");
        FileDialog file;
        QVERIFY(!file.showSave());
        QTest::ignoreMessage(QtWarningMsg, "Colour dialog cancelled: no screen and no answer");
        ColorDialog colour;
        colour.setColor(42);
        QVERIFY(!colour.exec());
        QCOMPARE(colour.color(), 42);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
