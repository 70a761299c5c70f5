#include "workerrelay.h"

#include <QMetaMethod>

WorkerRelay::WorkerRelay(CdcUsbProcess *worker)
    : CdcUsbProcess(nullptr, 0)
{
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<QByteArray *>("QByteArray*");
    const QMetaObject &meta = CdcUsbProcess::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Signal)
            QMetaObject::connect(worker, i, this, i, Qt::QueuedConnection);
    }
}
