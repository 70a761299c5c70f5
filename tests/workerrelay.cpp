#include "workerrelay.h"

#include "link/cdcusbprocess.h"

WorkerRelay::WorkerRelay(CdcUsbProcess *worker)
{
    using W = CdcUsbProcess;
    using R = WorkerRelay;
    connect(worker, &W::connected, this, &R::connected);
    connect(worker, &W::disconnected, this, &R::disconnected);
    connect(worker, &W::receivedAnswer, this, &R::receivedAnswer);
    connect(worker, &W::fileBlockWrited, this, &R::fileBlockWrited);
    connect(worker, &W::fileBlockReaded, this, &R::fileBlockReaded);
    connect(worker, &W::startEraseSector, this, &R::startEraseSector);
    connect(worker, &W::successEraseSector, this, &R::successEraseSector);
    connect(worker, &W::errorEraseSector, this, &R::errorEraseSector);
    connect(worker, &W::finishErase, this, &R::finishErase);
    connect(worker, &W::startWriteFlashPage, this, &R::startWriteFlashPage);
    connect(worker, &W::successWriteFlashPage, this, &R::successWriteFlashPage);
    connect(worker, &W::errorWriteFlashPage, this, &R::errorWriteFlashPage);
    connect(worker, &W::finishWrite, this, &R::finishWrite);
    connect(worker, &W::startVerifyFlashPage, this, &R::startVerifyFlashPage);
    connect(worker, &W::successVerifyFlashPage, this, &R::successVerifyFlashPage);
    connect(worker, &W::errorVerifyFlashPage, this, &R::errorVerifyFlashPage);
    connect(worker, &W::finishVerify, this, &R::finishVerify);
    connect(worker, &W::startExitBootloder, this, &R::startExitBootloder);
    connect(worker, &W::errorExitBootloder, this, &R::errorExitBootloder);
    connect(worker, &W::successExitBootloder, this, &R::successExitBootloder);
}
