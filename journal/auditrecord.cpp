#include "journal/auditrecord.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QLocale>

const char *const AuditRecord::descriptorWrite = "descriptor-write";
const char *const AuditRecord::descriptorWriteFailed = "descriptor-write-failed";
const char *const AuditRecord::fileUpload = "file-upload";
const char *const AuditRecord::fileDelete = "file-delete";
const char *const AuditRecord::firmwareUpdate = "firmware-update";
const char *const AuditRecord::projectUpload = "project-upload";
const char *const AuditRecord::backup = "backup";
const char *const AuditRecord::restore = "restore";
const char *const AuditRecord::projectSave = "project-save";
const char *const AuditRecord::acknowledge = "acknowledge";
const char *const AuditRecord::login = "login";
const char *const AuditRecord::loginFailed = "login-failed";
const char *const AuditRecord::userChange = "user-change";

namespace {

const QString storedTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz'Z'");

void appendField(QByteArray *out, const QByteArray &bytes)
{
    out->append(QByteArray::number(bytes.size()));
    out->append(':');
    out->append(bytes);
    out->append(',');
}

} // namespace

QString AuditRecord::timeText(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), storedTimeFormat);
}

QDateTime AuditRecord::parseTime(const QString &text)
{
    QDateTime time = QLocale::c().toDateTime(text, storedTimeFormat);
    time.setTimeSpec(Qt::UTC);
    return time;
}

QString AuditRecord::detailsText(const QJsonObject &details)
{
    return QString::fromUtf8(QJsonDocument(details).toJson(QJsonDocument::Compact));
}

QJsonObject AuditRecord::detailsObject() const
{
    return QJsonDocument::fromJson(details.toUtf8()).object();
}

QByteArray AuditRecord::canonical() const
{
    QByteArray out;
    appendField(&out, "1");
    appendField(&out, QByteArray::number(sequence));
    for (const QString *field : {&time, &user, &host, &device, &action, &details, &prevHash})
        appendField(&out, field->toUtf8());
    return out;
}

QString AuditRecord::computeHash() const
{
    return QString::fromLatin1(
        QCryptographicHash::hash(canonical(), QCryptographicHash::Sha256).toHex());
}

bool AuditRecord::operator==(const AuditRecord &other) const
{
    return canonical() == other.canonical() && hash == other.hash;
}
