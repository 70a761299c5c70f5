#include "devicewindowtestcase.h"
#include "testutil.h"

#include "app/auditview.h"
#include "journal/audittrail.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace DeviceWindowTest;

// A device window's writes in the audit trail, and the "Журнал изменений" view.
class TestAuditView : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    void windowWrite_data()
    {
        QTest::addColumn<QString>("prepare");
        QTest::addColumn<QString>("message");
        QTest::newRow("recorded") << QString() << QString("Параметры записаны.");
        QTest::newRow("trail cannot be written")
            << "CREATE TRIGGER full BEFORE INSERT ON audit_log BEGIN SELECT RAISE(ABORT, "
               "'database or disk is full'); END;"
            << QString("Параметры не записаны: журнал изменений недоступен");
    }

    // The value read and the value written are recorded before the write is sent; when they
    // cannot be, nothing is sent.
    void windowWrite()
    {
        QFETCH(QString, prepare);
        QFETCH(QString, message);
        const QString file = dir.filePath(QStringLiteral("%1.sqlite").arg(++files));
        AuditTrail trail(JournalLocation::file(file));
        AuditTrail::setDefaultTrail(&trail);
        if (!prepare.isEmpty())
            QCOMPARE(TestUtil::sqlite3(file, prepare), QString());
        rig = openRig(harness.get(), settings.get(), DeviceType::Horn, 1500 + files,
                      QStringLiteral("127.82.0.%1").arg(files));
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        const int from = harness->requestLog(rig->sim).size();
        fill(rig->window, {"lineEditMaxVolume=55"});
        widget<QPushButton>(rig->window, "pushButtonWriteMaxVolume")->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY2(boxes->texts().first().contains(message), qPrintable(boxes->texts().first()));
        QVERIFY(roundTrip(rig->window));
        const QStringList sets = linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET ");
        const QVector<AuditRecord> records =
            AuditTrail::read(trail.database(), AuditTrail::Filter());
        if (!prepare.isEmpty()) {
            QVERIFY(sets.isEmpty());
            QVERIFY(records.isEmpty());
            return;
        }
        QCOMPARE(sets, setRequests({"MaxVolume 55"}));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().device,
                 QStringLiteral("horn №%1 127.82.0.%2").arg(1500 + files).arg(files));
        QCOMPARE(records.first().detailsObject(),
                 QJsonObject({{"name", "MaxVolume"}, {"before", "80"}, {"after", "55"}}));
    }

    void viewFilters_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("all") << QString() << QString() << QList<int> {4, 3, 2, 1};
        QTest::newRow("device") << "№2" << QString() << QList<int> {2};
        QTest::newRow("user") << QString() << "ivanov" << QList<int> {3, 1};
        QTest::newRow("both") << "HORN"
                              << "ivanov" << QList<int> {3, 1};
    }

    // Newest first, filtered; the export writes what is shown.
    void viewFilters()
    {
        QFETCH(QString, device);
        QFETCH(QString, user);
        QFETCH(QList<int>, shown);
        AuditTrail trail(JournalLocation::file(dir.filePath("view.sqlite")));
        if (AuditTrail::read(trail.database(), AuditTrail::Filter()).isEmpty()) {
            for (int i = 1; i <= 4; ++i) {
                trail.setActor(i % 2 ? "ivanov" : "petrov", "pc");
                QVERIFY(trail.append(QStringLiteral("horn №%1").arg(i), "descriptor-write", {}));
            }
        }
        AuditView view(trail.database());
        view.findChild<QLineEdit *>("lineEditDevice")->setText(device);
        view.findChild<QLineEdit *>("lineEditUser")->setText(user);
        view.findChild<QPushButton *>("pushButtonApply")->click();
        QList<int> numbers;
        auto *table = view.findChild<QTableWidget *>("tableWidgetRecords");
        for (int row = 0; row < table->rowCount(); ++row)
            numbers << table->item(row, 0)->text().toInt();
        QCOMPARE(numbers, shown);
        const QString xlsx = dir.filePath(QStringLiteral("%1.xlsx").arg(QTest::currentDataTag()));
        QVERIFY(view.exportTo(xlsx));
        QVERIFY(TestUtil::readFile(xlsx).startsWith("PK"));
    }

private:
    int files = 0;
};

QTEST_MAIN(TestAuditView)
#include "tst_auditview.moc"
