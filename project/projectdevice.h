#pragma once

#include "project/devicefault.h"
#include "project/devicetype.h"
#include "project/portdescription.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>

#include <cstdint>

class InOut;
class ProjectGroup;
class ProjectModel;

// A device of the project: what the user configured (type, serial, addresses,
// channels and key links) plus what the program learns at run time (port, status).
class ProjectDevice : public QObject {
    Q_OBJECT

public:
    // USB ids a device carries until port discovery finds it on a real port; the device
    // link always accepts this pair as well.
    static constexpr uint16_t defaultUsbVendorId = 0x0483;
    static constexpr uint16_t defaultUsbProductId = 0x5740;
    // No console has more buttons than this: a larger count from a file or a device is
    // not a console's.
    static constexpr int maxKeysCount = 128;

    explicit ProjectDevice(int type, QObject *parent = nullptr);
    // A device last seen at `lastSeen`: a file of thousands of devices gives them all the
    // time it was read at, instead of asking the clock (and the time zone) for each.
    ProjectDevice(int type, const QDateTime &lastSeen, QObject *parent = nullptr);
    ProjectDevice(int type, quint32 serial, const QString &tag, bool rs485_enabled,
                  uint8_t rs485_addr, bool ip_enabled, const QString &ip_addr, int keys_count,
                  QObject *parent = nullptr);

    // Configuration, stored in the project file.
    int type = DeviceType::Unknown;
    QString tag;
    // Serial numbers are unsigned 32-bit on the devices; 0 means none.
    quint32 serial = 0;
    QList<InOut *> inouts;
    bool rs485_enabled = false;
    uint8_t rs485_addr = 0;
    bool ip_enabled = false;
    QString ip_addr;
    int keys_count = -1;
    int id_obj = -1;

    // Run-time state, never stored.
    QString firmwareVersion;
    bool portFound = false;
    bool netFound = false;
    // The serial port on which port discovery found the device (a real port, or a
    // pseudo-terminal of the virtual port registry).
    PortDescription portInfo;
    int mode = -1;
    uint8_t statusByte3 = 0;
    QList<DeviceFault> faults;
    QJsonObject status;
    // The last status body this device answered, the document read from it and that
    // document as the status journal stores it: a device in a steady state answers the
    // same bytes every second, which are then neither parsed nor written out again.
    struct StatusMemo {
        QByteArray body;
        QJsonObject document;
        QString journalText;
    };
    StatusMemo statusMemo;
    QDateTime lastSeen;
    // Wall-clock time (ms since the epoch) from which silence counts when it is later
    // than lastSeen: the status poller moves it on over every time the console was not
    // asking (editing state, a blocked or suspended process), so that such time is never
    // taken for silence. 0 until then.
    qint64 askedSinceMs = 0;
    // A console that watches the site database instead of polling shows the state the
    // monitors recorded: online or not as they said (not by the age of lastSeen), or no
    // data when the monitor of the device's shard has stopped stamping it. No: polled.
    enum class Watched { No, Online, Offline, NoData };
    Watched watched = Watched::No;
    bool noData() const { return watched == Watched::NoData; }
    uint16_t usbVendorId = defaultUsbVendorId;
    uint16_t usbProductId = defaultUsbProductId;

    void setPort(const PortDescription &info);
    ProjectGroup *parentGroup() const;
    ProjectModel *projectModel() const;

    // A device counts as online while it has been silent for at most `onlineSeconds`
    // seconds; the poller records it as lost one second later.
    static constexpr int onlineSeconds = 9;
    bool isOnline() const;
    // The same at `nowMs` (ms since the epoch), with seconds of `secondMs` milliseconds.
    bool isOnlineAt(qint64 nowMs, int secondMs = 1000) const;
    // Whole seconds (of `secondMs` milliseconds) of silence at `nowMs` (ms since the
    // epoch): from lastSeen, or from askedSinceMs when that is later.
    qint64 silentSeconds(qint64 nowMs, int secondMs = 1000) const;
    // `lastSeen` as whole seconds since the epoch (valid `lastSeen` only). Remembered per
    // value: turning a local time into epoch seconds consults the time zone each time,
    // and the tree, the counters and the tick ask for every device every second.
    qint64 lastSeenSecs() const;

    int buttonCount() const;
    int lineCount() const;
    int firstLineIndex() const;
    QString lineName(int n) const;
    int linkCount() const;

    // Adds or removes console buttons so that there are n of them. A negative count (not
    // known) and one above maxKeysCount change nothing.
    void setKeysCount(int n);

    // Replaces the channel list by the template of the device's type.
    void fillTemplate();
    // Takes ownership of a channel list read from a file (replacing the current one).
    void setInOuts(const QList<InOut *> &list);

    DeviceFault faultAt(int i) const;
    void clearStatus();
    // Decodes a status document received at `time` (faults, mode, events, status
    // journal) and emits statusChanged(). `body`, when given, is the text the document was
    // read from, and is remembered with it.
    void setStatus(const QJsonObject &document, const QDateTime &time,
                   const QByteArray &body = QByteArray());

    QString typeName() const { return deviceTypeName(this); }
    QString caption() const { return deviceCaption(this); }
    QString iconPath() const { return deviceTypeIconPath(this); }

signals:
    void statusChanged();
    // Every change of `inouts` is announced, so that views never reach a channel that
    // is gone: `io` is still in the list and alive when it is about to be removed (it is
    // deleted right after), and already in the list when it has been inserted.
    void inOutAboutToBeRemoved(InOut *io);
    void inOutInserted(InOut *io);

private:
    void insertInOut(int position, InOut *io);
    void removeInOut(InOut *io);
    void removeAllInOuts(const QList<InOut *> &keep = {});

    mutable QDateTime m_epochOf;
    mutable qint64 m_epochMs = 0;
};
