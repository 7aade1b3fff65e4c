#include "gui/resources.h"

#include <QTest>
#include <QWidget>

using namespace quillet;
using namespace Qt::StringLiterals;

class tst_Resources final : public QObject
{
    Q_OBJECT

private slots:
    void buttonPicturesAre32WithAlpha_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"IDP_SETTINGS", "IDP_SHOW_LOGS", "IDP_MAKE_TRANSPARENT",
                                 "IDP_EXIT", "IDP_NEW_SESSION", "IDP_OPEN_SESSION"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void buttonPicturesAre32WithAlpha()
    {
        QFETCH(QString, name);
        const Result<QByteArray> bytes = resourcePicture(name);
        QVERIFY(bytes.ok());
        QVERIFY(bytes.value().startsWith("\x89PNG"));
        const Result<QPixmap> picture = pictureFromPng(bytes.value());
        QVERIFY(picture.ok());
        QCOMPARE(picture.value().size(), QSize(32, 32));
        QVERIFY(picture.value().hasAlphaChannel());
        // Something is drawn, and the corners stay see-through or nearly so.
        const QImage image = picture.value().toImage();
        QVERIFY(qAlpha(image.pixel(16, 16)) > 0 || qAlpha(image.pixel(10, 16)) > 0);
    }

    void unknownOrHostileNamesFail_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown") << u"IDP_NONE"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("path") << u"../ICONS/A_MAIN/16.png"_s;
        QTest::newRow("parent") << u".."_s;
        QTest::newRow("icon name") << u"A_MAIN"_s;
    }
    void unknownOrHostileNamesFail()
    {
        QFETCH(QString, name);
        const Result<QByteArray> bytes = resourcePicture(name);
        QVERIFY(!bytes.ok());
        QCOMPARE(bytes.error().number, int(ErrorCode::ResourceNotFound));
        if (name != "A_MAIN"_L1)
            QVERIFY(resourceIcon(name).isNull());
    }

    void brokenPngIsAnError_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not a picture");
        const QByteArray png = resourcePicture(u"IDP_EXIT"_s).value();
        QTest::newRow("truncated") << png.left(png.size() / 3);
        QTest::newRow("header only") << png.left(8);
    }
    void brokenPngIsAnError()
    {
        QFETCH(QByteArray, bytes);
        const Result<QPixmap> picture = pictureFromPng(bytes);
        QVERIFY(!picture.ok());
        QCOMPARE(picture.error().number, int(ErrorCode::BadPicture));
    }

    void emptyIconIsFullyTransparent()
    {
        const QIcon icon = resourceIcon(u"IDI_EMPTY"_s);
        for (int size : {16, 32}) {
            const QImage image = icon.pixmap(size, size).toImage();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QCOMPARE(qAlpha(image.pixel(x, y)), 0);
        }
    }

    void windowGetsIcon()
    {
        QWidget window;
        setWindowIconFromResource(&window, u"A_MAIN"_s);
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    }
};

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
