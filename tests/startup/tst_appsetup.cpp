#include "app/startup.h"
#include "gui/resources.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

bool isRussian(const QString &text)
{
    static const QRegularExpression cyrillic(u"\\p{Cyrillic}"_s);
    return text.contains(cyrillic);
}

} // namespace

// What the start-up gives every window before the first one opens.
class TestAppSetup final : public QObject
{
    Q_OBJECT

private slots:
    // Qt's own texts read back in Russian under an English locale, and a box
    // that nobody gave an icon shows the program's.
    void qtTextsRussianAndProgramIconFromTheStart()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(setUpApplication(*qApp));

        QLineEdit userName(u"name"_s);
        std::unique_ptr<QMenu> menu(userName.createStandardContextMenu());
        int texts = 0;
        for (const QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            QVERIFY2(isRussian(action->text()), qPrintable(action->text()));
            ++texts;
        }
        QVERIFY(texts >= 5);

        // "OK" stays "OK" in Russian; the others are words.
        QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                                 QDialogButtonBox::No);
        for (const QAbstractButton *button : buttons.buttons())
            QVERIFY2(isRussian(button->text()), qPrintable(button->text()));
        QColorDialog colours;
        QVERIFY2(isRussian(colours.windowTitle()), qPrintable(colours.windowTitle()));

        QMessageBox box;
        QVERIFY(!box.windowIcon().isNull());
        QCOMPARE(box.windowIcon().pixmap(32).toImage(),
                 resourceIcon(u"A_MAIN"_s).pixmap(32).toImage());
    }
};

QTEST_MAIN(TestAppSetup)
#include "tst_appsetup.moc"
