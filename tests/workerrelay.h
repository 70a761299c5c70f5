#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class CdcUsbProcess;

// Re-emits every signal of a command exchange worker on the thread that created the relay,
// so that tests can watch them with QSignalSpy without touching another thread's data.
class WorkerRelay : public QObject {
    Q_OBJECT

public:
    explicit WorkerRelay(CdcUsbProcess *worker);

signals:
    void connected();
    void disconnected();
    void receivedAnswer(QString request, QString answer, int err);
    void fileBlockWrited(QString filepath, int position, int filesize, int err);
    void fileBlockReaded(QString filepath, int position, int filesize, QByteArray *buf, int err);
    void startEraseSector(uint32_t addr);
    void successEraseSector(uint32_t addr);
    void errorEraseSector(uint32_t addr, QString description);
    void finishErase(uint32_t addr, uint32_t size);
    void startWriteFlashPage(uint32_t addr);
    void successWriteFlashPage(uint32_t addr);
    void errorWriteFlashPage(uint32_t addr, QString description);
    void finishWrite(uint32_t addr, uint32_t size);
    void startVerifyFlashPage(uint32_t addr);
    void successVerifyFlashPage(uint32_t addr);
    void errorVerifyFlashPage(uint32_t addr, QString description);
    void finishVerify(uint32_t addr, uint32_t size);
    void startExitBootloder();
    void errorExitBootloder(QString description);
    void successExitBootloder();
};
