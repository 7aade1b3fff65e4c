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
        QLineEdit line;
        std::unique_ptr<QMenu> menu(line.createStandardContextMenu());
        QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::No);
        QStringList texts{QColorDialog().windowTitle()};
        for (const QAction *action : menu->actions())
            texts << (action->isSeparator() ? u"Ъ"_s : action->text());
        for (const QAbstractButton *button : buttons.buttons())
            texts << button->text();
        for (const QString &text : std::as_const(texts))
            QVERIFY2(text.contains(QRegularExpression(u"\\p{Cyrillic}"_s)), qPrintable(text));
        QCOMPARE(QMessageBox().windowIcon().pixmap(32).toImage(),
                 resourceIcon(u"A_MAIN"_s).pixmap(32).toImage());
    }
};

QTEST_MAIN(TestAppSetup)
#include "tst_appsetup.moc"
