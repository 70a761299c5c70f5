#pragma once

#include "devicewindowtest.h"

#include <QObject>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// The fixture of the device window tests: one simulator for the whole test, fresh settings
// and a message box watcher for every test function, and after each function the window
// closed and a check that no form connected a slot by name. A test class derives from it;
// QtTest runs these slots for it.
class DeviceWindowTestCase : public QObject {
    Q_OBJECT

protected slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

protected:
    // Run at the end of init() and at the start of cleanup(), for what a test class adds.
    virtual void initFunction() { }
    virtual void cleanupFunction() { }

    QTemporaryDir dir;
    std::unique_ptr<SimHarness> harness;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<DeviceWindowTest::BoxWatcher> boxes;
    std::unique_ptr<DeviceWindowTest::Rig> rig;

private:
    int settingsCount = 0;
};
