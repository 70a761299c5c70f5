#pragma once

#include "link/networkports.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <initializer_list>

class CdcUsbProcess;
class CdcUsbSession;
class ProjectDevice;

// The device access facade of one device window: turns typed calls into request lines for
// the command exchange worker and the worker's answers back into typed signals. Descriptors
// travel with the prefix "desc_" on the wire and without it towards the windows. Everything
// here runs on the thread that created the facade (the user-interface thread).
//
// Each new link asks "GET VERSION"; only a good answer with a known type identifies the
// device (connected()). Until then the device is asked again at every link check of the
// worker, so one refused or garbled answer does not leave the link unidentified.
//
// Results of the operations that queue something for the device (getDescriptor,
// setDescriptor, getParam, sendCommand, readDescriptors, writeFile, readFile):
//   Queued (0)       queued; the answer comes later as a signal.
//   Refused (-1)     nothing queued: no link to the device, or the facade is closing (and
//                    setDescriptor: a value that is neither text nor a number).
//   EmptyList (-2)   readDescriptors: the list to read is empty.
//   TextRefused (-3) nothing queued: a name, value, path or command line given by the
//                    caller cannot travel on the device link as it is. It holds a carriage
//                    return, a line feed or a NUL character, which would end the request
//                    line early and make the rest a command of its own, or a character
//                    that Windows-1251 cannot carry. refusalReason() tells which, for the
//                    caller to show. Checked before the link, so it is also the answer
//                    while there is no link.
//   AuditRefused (-4) nothing queued: the change could not be recorded in the process's
//                    audit trail (AuditTrail::defaultTrail()); refusalReason() says why.
//
// Every change goes through here, so every change is recorded here, before it is sent:
// each descriptor written (its name, the value last read from the device, the new value;
// a write the device then refuses gets a record of its own), each file written (name, size,
// SHA-256) and each SET command (a file deleted, a folder cleared). The values read are
// remembered for that.
class Amodule : public QObject {
    Q_OBJECT

public:
    enum Result { Queued = 0, Refused = -1, EmptyList = -2, TextRefused = -3, AuditRefused = -4 };

    // Starts looking for `device` at once (its USB port, or TCP `commandPort` of its address).
    explicit Amodule(const ProjectDevice *device, QObject *parent = nullptr,
                     quint16 commandPort = NetworkPorts::defaultCommandPort);
    ~Amodule() override;

    bool isConnected() const;
    int getDescriptor(const QString &name);
    int getDescriptor(const QString &name, int index);
    int setDescriptor(const QString &name, const QVariant &value);
    int getParam(const QString &name);
    int sendCommand(const QString &line);
    // Every name is checked before anything is queued or the list changes.
    int readDescriptors(const QStringList &names);
    // Why the last call that returned TextRefused refused its text (English, one line).
    QString refusalReason() const { return lastRefusal; }
    int readListSize() const { return readList.size(); }
    void clearReadList() { readList.clear(); }
    // The names of the list read that the last lost link dropped unanswered.
    QStringList droppedReadList() const { return droppedList; }
    int pendingDescriptorReads();
    int writeFile(const QString &path, const QByteArray &data);
    int readFile(const QString &path);
    void abortFileWrite();
    void abortFileRead();
    bool isFileTransferPending();
    // The flashing records return 0 when queued and -1 when the worker refused them (no link).
    int eraseFlash(uint32_t addr, uint32_t size);
    int writeFlash(uint32_t addr, uint32_t size, const char *data);
    int verifyFlash(uint32_t addr, uint32_t size, const char *data);
    int exitBootloader();
    CdcUsbProcess *worker() const;
    QString version() const { return fullVersion; }
    // The type code of the device's last version answer while linked; 0 before it has told.
    int deviceType() const { return typeCode; }
    // The device as the audit trail names it: type key, serial number (when known) and
    // address.
    QString auditDevice() const;
    // The value last read of a descriptor ("name" or "name[3]"); null when never read.
    QString lastReadValue(const QString &name) const;
    void close();
    // close(), then wait up to `ms` for the worker's thread to end.
    bool closeAndWait(int ms);

    static QString inputStateText(int code);
    // Why an exchange failed, from the answer the facade hands on for it: "no answer",
    // "no answer in time", "an answer too long to take", "the device answered ERROR" (and what
    // followed), or for a line the device did not confirm with "OK", that line quoted as it came.
    static QString failureReason(const QString &answer);
    // The erase layout of a version text: second comma-separated field, low 8 bits.
    static int layoutOfVersion(const QString &version);

signals:
    void connected(int dev_type, QString fullver);
    void disconnected();
    void receivedDescriptor(QString descname, QVariant value, int index, int err);
    void writedDescriptor(QString descname, QVariant value, int index, int err);
    void receivedParam(QString paramname, QString value, int err);
    void writedParam(QString paramname, QString value, int err);
    void exchangeError(int err);
    void startReadList(int count);
    void endReadList();
    void endWriteDescriptors();
    void writedFileBlock(QString filepath, int position, int filesize, int err);
    // A block of a download; `buf` (the file so far, or null) belongs to the facade and is
    // valid only while the signal is delivered: receivers copy what they keep.
    void readedFileBlock(QString filepath, int position, int filesize, QByteArray *buf, int err);

private slots:
    void on_cdcReceivedAnswer(QString request, QString answer, int err);
    void on_cdcConnected();
    void on_cdcDisconnected();
    void on_cdcLinkChecked();
    void on_fileBlockWrited(QString filepath, int position, int filesize, int err);
    void on_fileBlockReaded(QString filepath, int position, int filesize, QByteArray *buf, int err);

private:
    bool refused() const;
    // Asks the device which it is (once at a time).
    void askVersion();
    // True when every text can travel on the link; otherwise remembers why not.
    bool wireTextOk(std::initializer_list<QString> texts);
    static QString withPrefix(const QString &name);
    // Splits "name[3]" into "name" and 3; a name without a valid index stays whole with 0.
    static void splitIndex(const QString &sent, QString *name, int *index);
    // Records a change in the default audit trail; false (and refusalReason() set) when it
    // cannot be recorded.
    bool audit(const QString &action, const QJsonObject &details);
    int queueFlash(int kind, uint32_t addr, uint32_t size, const char *data, int layout);
    // Nobody will take download buffers any more: the worker ends a running download and
    // hands out no further buffer.
    void abandonDownloads();

    CdcUsbSession *cdcSession;
    bool deviceConnected = false;
    bool closing = false;
    QString fullVersion;
    int typeCode = 0;
    QStringList readList;
    QStringList droppedList;
    QString lastRefusal;
    QHash<QString, QString> readValues;
    quint32 serial = 0;
    int projectType = 0;
    QString address;
    // A version request of the facade's own is on its way.
    bool versionAsked = false;
};
