#include "project/devicetype.h"
#include "project/scenario.h"

#include <QImage>
#include <QtTest>

// Every image the program refers to is compiled in and is a proper picture.
class TestResources : public QObject {
    Q_OBJECT

private slots:
    void imagesExist_data()
    {
        QTest::addColumn<QString>("path");
        QStringList paths;
        for (int code : {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 137, 255})
            paths << deviceTypeIconPath(code);
        for (int type : {0, 1, 2, 3, 255})
            paths << Scenario::algoIconPath(type);
        const char *icons[] = {"Logo-libreoffice-calc",
                               "apply-icon",
                               "check-conn-icon",
                               "city-icon",
                               "clear-icon",
                               "error",
                               "group-icon",
                               "parameters-ion",
                               "plus-icon",
                               "search-icon",
                               "settings-icon",
                               "usb-online",
                               "relay-in-icon",
                               "relay-out-icon",
                               "audio-out-icon",
                               "audio-in-icon",
                               "pult-button-icon",
                               "microphone-icon",
                               "information"};
        for (const char *icon : icons)
            paths << QStringLiteral(":/images/icons/%1.png").arg(QLatin1String(icon));
        for (const char *colour : {"Gray", "Red", "Green", "Blue", "Yellow"})
            paths << QStringLiteral(":/images/buttons/Button-Blank-%1-icon.png")
                         .arg(QLatin1String(colour));
        paths.removeDuplicates();
        for (const QString &path : paths)
            QTest::newRow(qPrintable(path)) << path;
    }

    void imagesExist()
    {
        QFETCH(QString, path);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QImage image(path);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 24 && image.width() == image.height());
        QVERIFY(image.hasAlphaChannel());
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
