#include "gui/resources.h"

#include <QTest>
#include <QWidget>

using namespace quillet;

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
        QTest::newRow("unknown") << QStringLiteral("IDP_NONE");
        QTest::newRow("empty") << QString();
        QTest::newRow("path") << QStringLiteral("../ICONS/A_MAIN/16.png");
        QTest::newRow("parent") << QStringLiteral("..");
        QTest::newRow("icon name") << QStringLiteral("A_MAIN");
    }
    void unknownOrHostileNamesFail()
    {
        QFETCH(QString, name);
        const Result<QByteArray> bytes = resourcePicture(name);
        QVERIFY(!bytes.ok());
        QCOMPARE(bytes.error().number, int(ErrorCode::ResourceNotFound));
        if (name != QLatin1String("A_MAIN"))
            QVERIFY(resourceIcon(name).isNull());
    }

    void brokenPngIsAnError_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not a picture");
        const QByteArray png = resourcePicture(QStringLiteral("IDP_EXIT")).value();
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

    void iconsHaveSmallAndLargeSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("A_MAIN") << QStringLiteral("A_MAIN");
        QTest::newRow("IDI_MESSAGE") << QStringLiteral("IDI_MESSAGE");
        QTest::newRow("IDI_EMPTY") << QStringLiteral("IDI_EMPTY");
    }
    void iconsHaveSmallAndLargeSizes()
    {
        QFETCH(QString, name);
        const QIcon icon = resourceIcon(name);
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        QVERIFY(sizes.contains(QSize(16, 16)));
        QVERIFY(sizes.contains(QSize(32, 32)));
        if (name != QLatin1String("IDI_EMPTY"))
            QVERIFY(sizes.contains(QSize(256, 256)));
    }

    void emptyIconIsFullyTransparent()
    {
        const QIcon icon = resourceIcon(QStringLiteral("IDI_EMPTY"));
        for (int size : {16, 32}) {
            const QImage image = icon.pixmap(size, size).toImage();
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QCOMPARE(qAlpha(image.pixel(x, y)), 0);
        }
    }

    void programAndMessageIconsDiffer()
    {
        const QImage main = resourceIcon(QStringLiteral("A_MAIN")).pixmap(16, 16).toImage();
        const QImage message = resourceIcon(QStringLiteral("IDI_MESSAGE")).pixmap(16, 16).toImage();
        QVERIFY(main != message);
    }

    void windowGetsIcon()
    {
        QWidget window;
        setWindowIconFromResource(&window, QStringLiteral("A_MAIN"));
        QVERIFY(window.windowIcon().availableSizes().contains(QSize(32, 32)));
    }
};

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
