#include "devicewindowtestcase.h"

#include "guitest.h"

void DeviceWindowTestCase::initTestCase()
{
    qInstallMessageHandler(DeviceWindowTest::watchConnectByName);
    QVERIFY(dir.isValid());
    harness = std::make_unique<SimHarness>();
}

void DeviceWindowTestCase::init()
{
    settings = std::make_unique<QSettings>(
        dir.filePath(QStringLiteral("settings-%1.ini").arg(++settingsCount)), QSettings::IniFormat);
    boxes = std::make_unique<DeviceWindowTest::BoxWatcher>();
    initFunction();
}

void DeviceWindowTestCase::cleanup()
{
    rig.reset();
    boxes.reset();
    GuiTest::endPendingWatches();
    cleanupFunction();
    QCOMPARE(DeviceWindowTest::connectByNameWarnings(), QStringList());
}

void DeviceWindowTestCase::cleanupTestCase()
{
    harness.reset();
}
