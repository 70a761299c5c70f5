#pragma once

#include "devices/descriptorwrites.h"

#include <QObject>
#include <QString>

#include <functional>

class PortStatusContainer;
class QLineEdit;
class QPushButton;
class QWidget;
class TovikStatus;

// The "Состояние" tab of the central unit window: the unit's state text, the three lamp
// rows (fire-panel inputs, alarm lines, automatics off) from the status answer, and the
// two commands "Отключить зуммер" and "Сброс", offered only while the unit is connected.
class TovikStateTab : public QObject {
    Q_OBJECT

public:
    // Sends a write list through the window (one result message); the text is the message
    // when every write was confirmed.
    using Writer = std::function<void(const QList<DescriptorWrites::Write> &, const QString &)>;

    TovikStateTab(QWidget *form, const Writer &writer, QObject *parent = nullptr);

    // The state field without a link.
    static const QString noLinkText;

    // With a link the commands are offered; a new link or none clears the state and the
    // lamps until a status answer shows them.
    void setConnected(bool connected);
    // Shows what a status answer holds: the state and the lamps need all of fields 12 to 16.
    void showStatus(const TovikStatus &status);

    // The state codes with the automatics switched off.
    static bool automaticsOff(int code);

    PortStatusContainer *fireLamps() const { return fire; }
    PortStatusContainer *lineLamps() const { return lines; }
    PortStatusContainer *autoLamps() const { return automatics; }

    void on_pushButtonZummerOff_clicked();
    void on_pushButtonTovikReset_clicked();

private:
    Writer write;
    QLineEdit *appStatus;
    QPushButton *zummerOff;
    QPushButton *reset;
    PortStatusContainer *fire;
    PortStatusContainer *lines;
    PortStatusContainer *automatics;
};
