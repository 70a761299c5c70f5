#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QtTest>

namespace {

// A small project: an IP console (buttons 1 and 2, then its other channels) and three
// devices its buttons can switch.
struct Project {
    ProjectModel model {ProjectModel::Journals::None};
    // IP console, serial 500.
    ProjectDevice *console =
        add(new ProjectDevice(8, 500, QString(), false, 0, true, QStringLiteral("127.0.0.9"), 2));
    // Central unit 0x01020304: Ethernet at 192.168.10.5 (written with a leading zero) and
    // RS-485 address 5; its first line output has index 1.
    ProjectDevice *unit = add(new ProjectDevice(1, 0x01020304, QString(), true, 5, true,
                                                QStringLiteral("192.168.010.5"), -1));
    // Loudspeaker 1001 at 127.0.0.2; its one line output has index 1.
    ProjectDevice *horn =
        add(new ProjectDevice(7, 1001, QString(), false, 0, true, QStringLiteral("127.0.0.2"), -1));
    // Media converter 7: no line output, no address.
    ProjectDevice *media = add(new ProjectDevice(9, 7, QString(), false, 0, false, QString(), -1));
    // The device whose image is built.
    ProjectDevice *subject = console;

    ProjectDevice *add(ProjectDevice *device)
    {
        model.addDevice(nullptr, device);
        return device;
    }
    InOut *button(int n) const { return console->inouts.at(n - 1); }
    void link(int button, const ProjectDevice *target, const QList<int> &indexes)
    {
        this->button(button)->outlinks.append(OutLink {target->id_obj, indexes});
    }
};

struct ImageRow {
    const char *name;
    void (*setup)(Project &);
    const char *hex;
};

struct RefusalRow {
    const char *name;
    void (*setup)(Project &);
    const char *reason;
};

// "Кнопка 1" and "Кнопка 2" in Windows-1251.
#define BUTTON1 "CAEDEEEFEAE0 2031"
#define BUTTON2 "CAEDEEEFEAE0 2032"
// Link records (length byte first) of the three targets.
#define UNIT_RECORD_HEAD "E0 01 04030201 050AA8C0 05"
#define HORN_IP_RECORD "0C C0 07 E9030000 0200007F 01 01"
#define MEDIA_RECORD "08 80 09 07000000 01 02"

} // namespace

Q_DECLARE_METATYPE(ImageRow)
Q_DECLARE_METATYPE(RefusalRow)

class TestKeyImage : public QObject {
    Q_OBJECT

private slots:
    void image_data()
    {
        const ImageRow rows[] = {
            {"not a console", [](Project &p) { p.subject = p.horn; }, "06000000 0100"},
            {"console without buttons", [](Project &p) { p.console->setKeysCount(0); },
             "06000000 0100"},
            {"buttons without links", [](Project &) {},
             "1E000000 0100  0A00 00 08" BUTTON1 "  0A00 01 08" BUTTON2},
            {"console NORDA-4400",
             [](Project &p) {
                 p.subject =
                     p.add(new ProjectDevice(6, 44, QString(), false, 0, false, QString(), 1));
             },
             "12000000 0100  0A00 00 08" BUTTON1},
            {"the user's name before the description",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.button(1)->name = QStringLiteral("Все");
             },
             "0D000000 0100  0500 00 03 C2F1E5"},
            // 40 letters, ё among them: the first 32 bytes stay.
            {"40-letter name",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.button(1)->name = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЖ");
             },
             "2A000000 0100  2200 00 20"
             "E0E1E2E3E4E5B8E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFE"},
            // Both addresses; 010 is ten; lines 1, 2 and 8 give 0x83.
            {"lines 1, 2 and 8 of a unit with IP and RS-485",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.link(1, p.unit, {1, 2, 8});
             },
             "20000000 0100  1800 00 08" BUTTON1 " 0D" UNIT_RECORD_HEAD " 01 83"},
            {"IP only",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.link(1, p.horn, {1});
             },
             "1F000000 0100  1700 00 08" BUTTON1 " " HORN_IP_RECORD},
            {"RS-485 only",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.horn->ip_enabled = false;
                 p.horn->rs485_enabled = true;
                 p.horn->rs485_addr = 9;
                 p.link(1, p.horn, {1});
             },
             "1C000000 0100  1400 00 08" BUTTON1 " 09 A0 07 E9030000 09 01 01"},
            // A device without line outputs counts its channels from -1.
            {"serial number only",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.link(1, p.media, {0});
             },
             "1B000000 0100  1300 00 08" BUTTON1 " " MEDIA_RECORD},
            // An address that is not used is not read.
            {"a malformed address that is switched off",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.horn->ip_enabled = false;
                 p.horn->ip_addr = QStringLiteral("300.1");
                 p.link(1, p.horn, {1});
             },
             "1B000000 0100  1300 00 08" BUTTON1 " 08 80 07 E9030000 01 01"},
            // Channel base + 63 is the last bit; base + 64 and below the base have none.
            {"masks at the 64-line edge",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.link(1, p.unit, {65, 0, -3});
                 p.link(1, p.unit, {1, 64});
             },
             "35000000 0100  2D00 00 08" BUTTON1 " 0D" UNIT_RECORD_HEAD " 01 00"
             " 14" UNIT_RECORD_HEAD " 08 0100000000000080"},
            // The unit is taken out of the project; identifier 99 was never issued.
            {"removed target",
             [](Project &p) {
                 p.console->setKeysCount(1);
                 p.link(1, p.horn, {1});
                 p.link(1, p.unit, {1});
                 p.link(1, p.media, {0});
                 p.button(1)->outlinks.append(OutLink {99, {1}});
                 QVERIFY(p.model.removeNode(p.unit));
                 delete p.unit;
             },
             "28000000 0100  2000 00 08" BUTTON1 " " HORN_IP_RECORD " " MEDIA_RECORD},
            {"links of the second button", [](Project &p) { p.link(2, p.horn, {1}); },
             "2B000000 0100  0A00 00 08" BUTTON1 "  1700 01 08" BUTTON2 " " HORN_IP_RECORD},
        };
        TestUtil::addRows(rows);
    }

    void image()
    {
        QFETCH(ImageRow, row);
        Project project;
        row.setup(project);
        QByteArray image;
        QString error;
        QVERIFY2(keyConfigImage(project.subject, &image, &error), qPrintable(error));
        QCOMPARE(image.toHex(' ').toUpper(), QByteArray::fromHex(row.hex).toHex(' ').toUpper());
    }

    void refusals_data()
    {
        const RefusalRow rows[] = {
            {"short address", [](Project &p) { p.unit->ip_addr = QStringLiteral("192.168.1"); },
             "button 1 \"Кнопка 1\": device 1 (serial 16909060) has the IPv4 address "
             "'192.168.1', which is not four decimal numbers from 0 to 255"},
            {"a part above 255",
             [](Project &p) { p.unit->ip_addr = QStringLiteral("192.168.1.300"); },
             "'192.168.1.300', which is not four decimal numbers"},
            {"five parts", [](Project &p) { p.unit->ip_addr = QStringLiteral("1.2.3.4.5"); },
             "'1.2.3.4.5', which is not"},
            {"empty address", [](Project &p) { p.unit->ip_addr.clear(); },
             "the IPv4 address '', which is not"},
            {"hexadecimal part", [](Project &p) { p.unit->ip_addr = QStringLiteral("0x7f.0.0.1"); },
             "'0x7f.0.0.1', which is not"},
        };
        TestUtil::addRows(rows);
    }

    // Nothing is built: the image the caller had stays as it was.
    void refusals()
    {
        QFETCH(RefusalRow, row);
        Project project;
        project.link(1, project.horn, {1});
        project.link(1, project.unit, {1});
        row.setup(project);
        QByteArray image("untouched");
        QString error;
        QVERIFY(!keyConfigImage(project.console, &image, &error));
        QCOMPARE(image, QByteArray("untouched"));
        QVERIFY2(error.contains(QString::fromUtf8(row.reason)), qPrintable(error));
    }

    // A link record with both addresses and a one-byte mask is 14 bytes; with a 13-byte
    // name, 4680 of them make an entry of exactly 65535 bytes, one more does not fit.
    void entryLengthEdge()
    {
        Project project;
        project.console->setKeysCount(1);
        project.button(1)->name = QStringLiteral("thirteen char");
        project.horn->rs485_enabled = true;
        for (int i = 0; i < 4680; ++i)
            project.link(1, project.horn, {1});
        QByteArray image;
        QString error;
        QVERIFY2(keyConfigImage(project.console, &image, &error), qPrintable(error));
        QCOMPARE(image.size(), 6 + 2 + 65535);
        QCOMPARE(image.left(8).toHex(), QByteArray("070001000100ffff"));
        QCOMPARE(image.right(14).toHex(), QByteArray("0de007e90300000200007f000101"));

        project.link(1, project.horn, {1});
        QVERIFY(!keyConfigImage(project.console, &image, &error));
        QCOMPARE(image.size(), 6 + 2 + 65535);
        QCOMPARE(error,
                 "button 1 \"thirteen char\" has too many links: its entry would be longer "
                 "than 65535 bytes");
    }
};

QTEST_GUILESS_MAIN(TestKeyImage)
#include "tst_keyimage.moc"
