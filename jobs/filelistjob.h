#pragma once

#include "jobs/devicejob.h"
#include "link/filelisting.h"

#include <QString>
#include <QVector>

// Lists one folder of the device ("GET FILE_LIST " + folder). The answer's lines become
// entries once the device has answered; a refused or failed listing gives none.
class FileListJob : public DeviceJob {
    Q_OBJECT

public:
    enum Step { List = 1 };

    using Entry = FileListing::Entry;

    FileListJob(Amodule *module, const QString &folder, QObject *parent = nullptr);
    ~FileListJob() override;

    QString folder() const { return dir; }
    // The folder's entries, once the job is done.
    QVector<Entry> entries() const { return list; }

protected:
    void begin() override;
    void abort() override;

private:
    QString dir;
    QVector<Entry> list;
};
