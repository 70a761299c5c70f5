#pragma once

// The device access facade of one device window in the link tests, knowing whether its
// device has told its type.

#include "link/amodule.h"
#include "project/projectdevice.h"

#include <QSignalSpy>
#include <QTest>

class FacadeLink {
public:
    FacadeLink(const ProjectDevice *target, quint16 port)
        : module(target, nullptr, port)
    {
        QObject::connect(&module, &Amodule::connected,
                         [this](int devType, const QString &) { type = devType; });
        QObject::connect(&module, &Amodule::disconnected, [this] { type = 0; });
    }
    ~FacadeLink() { module.closeAndWait(30000); }

    bool waitIdentified(int ms = 15000)
    {
        return QTest::qWaitFor([this] { return type != 0 && module.isConnected(); }, ms);
    }
    // One exchange through the facade, answered after whatever the worker had queued
    // before: a status request, or a descriptor read where the status requests are counted.
    bool roundTrip()
    {
        QSignalSpy params(&module, &Amodule::receivedParam);
        return module.getParam("STATUS") == Amodule::Queued && params.wait(10000);
    }
    bool roundTripDescriptor()
    {
        QSignalSpy answers(&module, &Amodule::receivedDescriptor);
        return module.getDescriptor(QStringLiteral("desc_SerialNumber")) == Amodule::Queued &&
            answers.wait(10000);
    }

    Amodule module;
    int type = 0;
};
