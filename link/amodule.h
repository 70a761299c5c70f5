#pragma once

#include "link/networkports.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>

class CdcUsbProcess;
class CdcUsbSession;
class ProjectDevice;

// The device access facade of one device window: turns typed calls into request lines for
// the command exchange worker and the worker's answers back into typed signals. Descriptors
// travel with the prefix "desc_" on the wire and without it towards the windows. Everything
// here runs on the thread that created the facade (the user-interface thread).
class Amodule : public QObject {
    Q_OBJECT

public:
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
    int readDescriptors(const QStringList &names);
    int readListSize() const { return readList.size(); }
    void clearReadList() { readList.clear(); }
    int pendingDescriptorReads();
    int writeFile(const QString &path, const QByteArray &data);
    int readFile(const QString &path);
    void abortFileWrite();
    void abortFileRead();
    bool isFileTransferPending();
    // The flashing jobs return 0 when queued and -1 when the worker refused them (no link).
    int eraseFlash(uint32_t addr, uint32_t size);
    int writeFlash(uint32_t addr, uint32_t size, const char *data);
    int verifyFlash(uint32_t addr, uint32_t size, const char *data);
    int exitBootloader();
    CdcUsbProcess *worker() const;
    QString version() const { return fullVersion; }
    void close();
    // close(), then wait up to `ms` for the worker's thread to end.
    bool closeAndWait(int ms);

    static QString inputStateText(int code);
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
    void readedFileBlock(QString filepath, int position, int filesize, QByteArray *buf, int err);

private slots:
    void on_cdcReceivedAnswer(QString request, QString answer, int err);
    void on_cdcConnected();
    void on_cdcDisconnected();
    void on_fileBlockWrited(QString filepath, int position, int filesize, int err);
    void on_fileBlockReaded(QString filepath, int position, int filesize, QByteArray *buf, int err);

private:
    bool refused() const;
    static QString withPrefix(const QString &name);
    // Splits "name[3]" into "name" and 3; a name without a valid index stays whole with 0.
    static void splitIndex(const QString &sent, QString *name, int *index);
    int queueFlash(int kind, uint32_t addr, uint32_t size, const char *data, int layout);
    // Nobody will take download buffers any more: the worker ends a running download and
    // hands out no further buffer.
    void abandonDownloads();

    CdcUsbSession *cdcSession;
    bool deviceConnected = false;
    bool closing = false;
    QString fullVersion;
    QStringList readList;
};
