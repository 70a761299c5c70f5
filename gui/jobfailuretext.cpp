#include "gui/jobfailuretext.h"

#include "jobs/devicebackupjob.h"
#include "jobs/devicerestorejob.h"
#include "jobs/fileuploadjob.h"

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// The texts every job shares; empty for a failure, which each job names by its step.
QString ending(const DeviceJob::Result &result)
{
    switch (result.status) {
    case DeviceJob::Status::LinkLost:
        return u("Связь с устройством потеряна.");
    case DeviceJob::Status::Cancelled:
        return u("Операция отменена.");
    case DeviceJob::Status::Done:
    case DeviceJob::Status::Failed:
        break;
    }
    return QString();
}

QString failed()
{
    return u("Устройство не выполнило команду.");
}

} // namespace

QString JobFailureText::backup(const DeviceJob::Result &result)
{
    const QString text = ending(result);
    if (!text.isEmpty())
        return text;
    switch (result.step) {
    case DeviceBackupJob::Identify:
        return u("Устройство не сообщило свой тип.");
    case DeviceBackupJob::ReadValues:
        return u("Параметры устройства не прочитаны.");
    case DeviceBackupJob::ListKeys:
        return u("Список файлов устройства не прочитан.");
    case DeviceBackupJob::ReadFiles:
        return u("Файлы устройства не прочитаны.");
    default:
        return failed();
    }
}

QString JobFailureText::restore(const DeviceJob::Result &result)
{
    const QString text = ending(result);
    if (!text.isEmpty())
        return text;
    switch (result.step) {
    case DeviceRestoreJob::Identify:
        return u("Устройство не сообщило свой тип.");
    case DeviceRestoreJob::ReadValues:
        return u("Параметры устройства не прочитаны.");
    case DeviceRestoreJob::ReadFiles:
        return u("Файлы устройства не прочитаны.");
    case DeviceRestoreJob::Compare:
        return u("Значение из файла нельзя записать в устройство.");
    case DeviceRestoreJob::WriteValues:
        return u("Устройство не приняло значение параметра.");
    case DeviceRestoreJob::WriteFiles:
        return u("Файл не записан в устройство.");
    default:
        return failed();
    }
}

QString JobFailureText::upload(const DeviceJob::Result &result)
{
    const QString text = ending(result);
    if (!text.isEmpty())
        return text;
    switch (result.step) {
    case FileUploadJob::Create:
        return u("Устройство не создало файл.");
    case FileUploadJob::Write:
        return u("Устройство не приняло данные файла.");
    case FileUploadJob::Close:
        return u("Устройство не закрыло файл.");
    default:
        return failed();
    }
}

QString JobFailureText::any(const DeviceJob::Result &result)
{
    const QString text = ending(result);
    return text.isEmpty() ? failed() : text;
}
