#include "project/devicetype.h"
#include "project/firmwarecatalogue.h"
#include "project/firmwareimage.h"
#include "project/projectdevice.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using TestUtil::firmwareFile;

Q_DECLARE_METATYPE(FirmwareImage::LoadError)

namespace {

// Writes a file into the folder; its path, or an empty text if it could not be written.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    return TestUtil::writeFile(path, content) ? path : QString();
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

} // namespace

class TestDeviceType : public QObject {
    Q_OBJECT

private slots:
    // Codes outside the catalogue fall back to the unknown device everywhere.
    void unknownCodes()
    {
        for (const int code : {0, 5, -1, 11, 136}) {
            QCOMPARE(deviceTypeKey(code), QString());
            QCOMPARE(deviceTypeName(code), QStringLiteral("Неизвестное устройство"));
            QCOMPARE(deviceTypeIconPath(code), QStringLiteral(":/images/icons/information.png"));
        }
    }

    void keyLookup_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("code");
        QTest::newRow("capitals") << "TOVIK2" << 1;
        QTest::newRow("mixed case") << "Ip_Pult" << 8;
        QTest::newRow("boot") << "boot" << 255;
        QTest::newRow("bootloader is not a reported key") << "bootloader" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("padded") << " horn" << 0;
        QTest::newRow("unknown") << "norda9999" << 0;
    }

    void keyLookup()
    {
        QFETCH(QString, key);
        QFETCH(int, code);
        QCOMPARE(deviceTypeFromKey(key), code);
    }

    void firmwareLoad_data()
    {
        using E = FirmwareImage::LoadError;
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<E>("error");
        QTest::addColumn<int>("size");

        QTest::newRow("three bytes") << QByteArray("nor") << E::NotAnImage << 0;
        QTest::newRow("header only, no payload") << firmwareFile(0x08004000, {}, 0) << E::None << 0;
        QTest::newRow("header cut short") << firmwareFile(0, {}, 0).left(12) << E::NotAnImage << 0;
        QTest::newRow("other magic") << firmwareFile(0, "abcd", 4, "NORD") << E::NotAnImage << 0;
        QTest::newRow("exact payload")
            << firmwareFile(4096, pattern(1000), 1000) << E::None << 1000;
        QTest::newRow("trailing bytes ignored")
            << firmwareFile(4096, pattern(1000), 10) << E::None << 10;
        QTest::newRow("length beyond the file")
            << firmwareFile(4096, pattern(1000), 1001) << E::Truncated << 0;
        QTest::newRow("length 0xffffffff")
            << firmwareFile(4096, pattern(16), 0xffffffffu) << E::Truncated << 0;
        // Pages are addressed as load address + offset in 32 bits.
        QTest::newRow("ends at the top of the address space")
            << firmwareFile(0xffffff00u, pattern(0x100)) << E::None << 0x100;
        QTest::newRow("passes the top of the address space")
            << firmwareFile(0xffffff00u, pattern(0x200)) << E::WrapsAround << 0;
        QTest::newRow("one byte past the top")
            << firmwareFile(0xffffffffu, pattern(2)) << E::WrapsAround << 0;
    }

    void firmwareLoad()
    {
        QFETCH(QByteArray, content);
        QFETCH(FirmwareImage::LoadError, error);
        QFETCH(int, size);
        const bool valid = error == FirmwareImage::LoadError::None;

        QTemporaryDir dir;
        const QString path = writeFile(dir, "image_1_2.norda", content);
        QVERIFY(!path.isEmpty());
        FirmwareImage image;
        QCOMPARE(image.load(path), valid);
        QCOMPARE(image.valid(), valid);
        QCOMPARE(image.loadError(), error);
        QCOMPARE(image.errorString().isEmpty(), valid);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.filePath(), path);
        if (valid) {
            QCOMPARE(image.fileName(), "image_1_2.norda");
            QCOMPARE(image.data(), content.mid(16, size));
        }
    }

    void firmwareLoadRefusesBeforeReading_data()
    {
        using E = FirmwareImage::LoadError;
        QTest::addColumn<QString>("kind");
        QTest::addColumn<E>("error");
        QTest::newRow("device node") << "/dev/zero" << E::NotRegularFile;
        QTest::newRow("fifo") << "fifo" << E::NotRegularFile;
        QTest::newRow("folder") << "folder" << E::NotRegularFile;
        QTest::newRow("missing") << "missing" << E::CannotOpen;
        QTest::newRow("larger than the flash") << "sparse+1" << E::TooLarge;
        QTest::newRow("as large as the flash") << "sparse" << E::None;
    }

    void firmwareLoadRefusesBeforeReading()
    {
        // Neither blocks (a FIFO without a writer) nor reads without end (/dev/zero) nor
        // takes more memory than an image can need.
        QFETCH(QString, kind);
        QFETCH(FirmwareImage::LoadError, error);
        QTemporaryDir dir;
        QString path = dir.filePath(kind);
        if (kind.startsWith("/")) {
            path = kind;
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == "folder") {
            QVERIFY(QDir(dir.path()).mkdir(kind));
        } else if (kind.startsWith("sparse")) {
            // A header promising 1 MiB, then a hole up to the file's size.
            const qint64 extra = kind.endsWith("+1") ? 1 : 0;
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(firmwareFile(0x08000000, {}, FirmwareImage::maxPayloadSize)) == 16);
            QVERIFY(file.resize(FirmwareImage::maxFileSize + extra));
        }
        FirmwareImage image;
        QCOMPARE(image.load(path), error == FirmwareImage::LoadError::None);
        QCOMPARE(image.loadError(), error);
        if (error == FirmwareImage::LoadError::None) {
            QCOMPARE(image.size(), int(FirmwareImage::maxPayloadSize));
        } else {
            QVERIFY2(image.errorString().contains(path), qPrintable(image.errorString()));
            QCOMPARE(image.size(), 0);
        }
    }

    void firmwareChunk()
    {
        QTemporaryDir dir;
        const QByteArray payload = pattern(1000);
        FirmwareImage image;
        QVERIFY(image.load(writeFile(dir, "a.norda", firmwareFile(4096, payload, 1000))));
        QCOMPARE(image.flashBase(), 4096u);
        QCOMPARE(image.chunk(4096, 16), payload.left(16));
        QCOMPARE(image.chunk(5088, 8), payload.right(8));
        QVERIFY(image.chunk(5088, 16).isEmpty());
        QCOMPARE(image.chunk(5096, 0), QByteArray());
        QVERIFY(image.chunk(4095, 8).isEmpty()); // below the base
        QVERIFY(image.chunk(4096, 0xffffffffu).isEmpty());
        QVERIFY(image.chunk(0xffffffffu, 2).isEmpty());

        QVERIFY(!image.load(dir.filePath("missing.norda")));
        QVERIFY(!image.valid());
        QCOMPARE(image.size(), 0);

        // A reset image holds nothing.
        QVERIFY(image.load(writeFile(dir, "b.norda", firmwareFile(16, "abcd", 4))));
        image.reset();
        QVERIFY(!image.valid());
        QCOMPARE(image.size(), 0);
        QCOMPARE(image.flashBase(), 0u);
        QVERIFY(image.filePath().isEmpty());
        QVERIFY(image.fileName().isEmpty());
    }

    void firmwareCatalogue()
    {
        QTemporaryDir dir;
        QVERIFY(FirmwareCatalogue::scan(dir.filePath("absent")).isEmpty());

        QVERIFY(!writeFile(dir, "tovik2_3_14.norda", "x").isEmpty());
        QVERIFY(!writeFile(dir, "readme.txt", "x").isEmpty());
        QVERIFY(QDir(dir.path()).mkdir("sub.norda"));
        QVERIFY(!writeFile(dir, "sub.norda/inner.norda", "x").isEmpty());

        QMap<QString, QString> found;
        for (const auto &entry : FirmwareCatalogue::scan(dir.path()))
            found.insert(entry.first, entry.second);
        QCOMPARE(found.keys(), QStringList({"readme.txt", "tovik2.3.14"}));
        QCOMPARE(found.value("tovik2.3.14"), dir.filePath("tovik2_3_14.norda"));
        QCOMPARE(FirmwareCatalogue::displayName("a.norda_b.NORDA"), "a.b.NORDA");
        QCOMPARE(FirmwareCatalogue::defaultFolder(),
                 QCoreApplication::applicationDirPath() + "/firmware");
    }
};

QTEST_GUILESS_MAIN(TestDeviceType)
#include "tst_devicetype.moc"
