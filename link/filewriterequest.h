#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// One queued file upload: the device path and a copy of the whole content.
struct FileWriteRequest {
    QString path;
    std::unique_ptr<QByteArray> data;
};
