#pragma once

#include "project/outlink.h"

#include <QList>
#include <QObject>
#include <QString>

// Kinds of device channels.
struct InOutType {
    enum Code : int {
        ControlInput = 0,
        Input = 1,
        ControlOutput = 2,
        RelayOutput = 3,
        LineOutput = 4,
        AudioOutput = 5,
        AudioInput = 6,
        Button = 7,
        Microphone = 8,
    };
};

// One input, output, button or audio channel of a device. Owned by its device.
class InOut : public QObject {
    Q_OBJECT

public:
    InOut(int type, const QString &description, int index, QObject *parent = nullptr);

    int type = -1;
    QString name;
    QString description;
    int index = -1;
    QList<OutLink> outlinks;
    int id_obj = -1;

    // The user's name, or the fixed description when the user gave none.
    QString displayName() const { return name.isEmpty() ? description : name; }
    bool isInput() const;
};
