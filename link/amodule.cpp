#include "link/amodule.h"

#include "journal/auditrecord.h"
#include "journal/audittrail.h"

#include "link/cdcusbprocess.h"
#include "link/cdcusbsession.h"
#include "link/connectiondevice.h"
#include "link/flashrecord.h"
#include "link/linklog.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/statusdecoder.h"

#include <QCoreApplication>
#include <QCryptographicHash>

#include <algorithm>
#include <memory>

namespace {

const QString descPrefix = QStringLiteral("desc_");

} // namespace

Amodule::Amodule(const ProjectDevice *device, QObject *parent, quint16 commandPort)
    : QObject(parent)
    , cdcSession(new CdcUsbSession(device, commandPort, this))
{
    if (device) {
        serial = device->serial;
        projectType = device->type;
        address = device->ip_enabled ? device->ip_addr : QStringLiteral("USB");
    }
    CdcUsbProcess *w = cdcSession->worker();
    connect(w, &CdcUsbProcess::receivedAnswer, this, &Amodule::on_cdcReceivedAnswer);
    connect(w, &CdcUsbProcess::disconnected, this, &Amodule::on_cdcDisconnected);
    connect(w, &CdcUsbProcess::connected, this, &Amodule::on_cdcConnected);
    connect(w, &CdcUsbProcess::linkChecked, this, &Amodule::on_cdcLinkChecked);
    connect(w, &CdcUsbProcess::fileBlockWrited, this, &Amodule::on_fileBlockWrited);
    connect(w, &CdcUsbProcess::fileBlockReaded, this, &Amodule::on_fileBlockReaded);
    // Only now: the worker may find its device at once, and its first announcement must
    // reach the slots above.
    cdcSession->start();
}

Amodule::~Amodule()
{
    // Nothing is announced by a facade that is going away.
    closing = true;
    blockSignals(true);
    abandonDownloads();
    delete cdcSession;
    cdcSession = nullptr;
    // Download buffers already queued to this facade would be lost with it: they are
    // taken (and released, see on_fileBlockReaded) now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void Amodule::abandonDownloads()
{
    if (cdcSession && cdcSession->worker())
        cdcSession->worker()->abandonDownloads();
}

bool Amodule::isConnected() const
{
    return deviceConnected && !closing;
}

bool Amodule::refused() const
{
    return closing || !deviceConnected || !cdcSession || !cdcSession->worker();
}

bool Amodule::wireTextOk(std::initializer_list<QString> texts)
{
    for (const QString &text : texts) {
        QString why;
        if (!ConnectionDevice::isWireText(text, &why)) {
            lastRefusal = why;
            qCDebug(lcLink).noquote() << "Refused text for the device:" << why;
            return false;
        }
    }
    return true;
}

QString Amodule::withPrefix(const QString &name)
{
    return name.startsWith(descPrefix) ? name : descPrefix + name;
}

void Amodule::splitIndex(const QString &sent, QString *name, int *index)
{
    *name = sent;
    *index = 0;
    if (!sent.contains(QLatin1Char('[')) || !sent.contains(QLatin1Char(']')))
        return;
    const QStringList pieces = sent.split(QLatin1Char('['));
    QString number = pieces.value(1);
    number.remove(QLatin1Char(']'));
    bool ok = false;
    const uint value = number.toUInt(&ok);
    if (ok) {
        *name = pieces.value(0);
        *index = int(value);
    }
}

int Amodule::getDescriptor(const QString &name)
{
    if (!wireTextOk({name}))
        return TextRefused;
    if (refused())
        return Refused;
    return cdcSession->worker()->addRequest(QStringLiteral("GET DESCRIPTOR ") + withPrefix(name))
        ? Queued
        : Refused;
}

int Amodule::getDescriptor(const QString &name, int index)
{
    return getDescriptor(name + QLatin1Char('[') + QString::number(index) + QLatin1Char(']'));
}

int Amodule::setDescriptor(const QString &name, const QVariant &value)
{
    QString text;
    if (value.canConvert<QString>())
        text = value.toString();
    else if (value.canConvert<uint>())
        text = QString::number(value.toUInt());
    else
        return Refused;
    if (!wireTextOk({name, text}))
        return TextRefused;
    if (refused())
        return Refused;
    QString bare = name;
    if (bare.startsWith(descPrefix))
        bare.remove(0, descPrefix.size());
    QJsonObject details {{QStringLiteral("name"), bare}, {QStringLiteral("after"), text}};
    const QString before = lastReadValue(bare);
    if (!before.isNull())
        details.insert(QStringLiteral("before"), before);
    if (!audit(QLatin1String(AuditRecord::descriptorWrite), details))
        return AuditRefused;
    return cdcSession->worker()->addRequest(QStringLiteral("SET DESCRIPTOR ") + withPrefix(name) +
                                            QLatin1Char(' ') + text)
        ? Queued
        : Refused;
}

QString Amodule::auditDevice() const
{
    QStringList parts {deviceTypeKey(typeCode != 0 ? typeCode : projectType)};
    if (serial != 0)
        parts << QStringLiteral("№%1").arg(serial);
    if (!address.isEmpty())
        parts << address;
    return parts.join(QLatin1Char(' '));
}

QString Amodule::lastReadValue(const QString &name) const
{
    QString value = readValues.value(name);
    if (value.isNull() && name.endsWith(QLatin1String("[0]")))
        value = readValues.value(name.left(name.size() - 3));
    if (value.isNull() && !name.contains(QLatin1Char('[')))
        value = readValues.value(name + QStringLiteral("[0]"));
    return value;
}

bool Amodule::audit(const QString &action, const QJsonObject &details)
{
    AuditTrail *trail = AuditTrail::defaultTrail();
    if (!trail || trail->append(auditDevice(), action, details))
        return true;
    lastRefusal = QStringLiteral("the change is not made: the audit trail cannot be written (%1)")
                      .arg(trail->error());
    return false;
}

int Amodule::getParam(const QString &name)
{
    if (!wireTextOk({name}))
        return TextRefused;
    if (refused())
        return Refused;
    return cdcSession->worker()->addRequest(QStringLiteral("GET ") + name) ? Queued : Refused;
}

int Amodule::sendCommand(const QString &line)
{
    if (!wireTextOk({line}))
        return TextRefused;
    if (refused())
        return Refused;
    // Of the other commands, those that change what the device holds or runs are recorded
    // (the file transfer's own steps are not: a file written is recorded as a whole).
    static const QStringList changing {QStringLiteral("SET FILE_DELETE "),
                                       QStringLiteral("SET DIR_CLEAR"), QStringLiteral("SET BOOT")};
    const bool changes = std::any_of(changing.cbegin(), changing.cend(),
                                     [&line](const QString &c) { return line.startsWith(c); });
    if (changes) {
        static const QString deleteCommand = QStringLiteral("SET FILE_DELETE ");
        const bool deletion = line.startsWith(deleteCommand);
        const QJsonObject details = deletion
            ? QJsonObject {{QStringLiteral("name"), line.mid(deleteCommand.size())}}
            : QJsonObject {{QStringLiteral("command"), line}};
        if (!audit(deletion ? QLatin1String(AuditRecord::fileDelete) : QStringLiteral("command"),
                   details))
            return AuditRefused;
    }
    return cdcSession->worker()->addRequest(line) ? Queued : Refused;
}

int Amodule::readDescriptors(const QStringList &names)
{
    for (const QString &name : names) {
        if (!wireTextOk({name}))
            return TextRefused;
    }
    if (refused())
        return Refused;
    readList.append(names);
    readList.removeDuplicates();
    if (readList.isEmpty())
        return EmptyList;
    emit startReadList(readList.size());
    const QStringList list = readList;
    for (const QString &name : list)
        getDescriptor(name);
    return Queued;
}

int Amodule::pendingDescriptorReads()
{
    if (closing || !cdcSession || !cdcSession->worker())
        return 0;
    return cdcSession->worker()->pendingDescriptorReads();
}

int Amodule::writeFile(const QString &path, const QByteArray &data)
{
    if (!wireTextOk({path}))
        return TextRefused;
    if (refused())
        return Refused;
    const QJsonObject details {
        {QStringLiteral("name"), path},
        {QStringLiteral("size"), data.size()},
        {QStringLiteral("sha256"),
         QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex())},
    };
    if (!audit(QLatin1String(AuditRecord::fileUpload), details))
        return AuditRefused;
    return cdcSession->worker()->addFileWrite(path, data);
}

int Amodule::readFile(const QString &path)
{
    if (!wireTextOk({path}))
        return TextRefused;
    if (refused())
        return Refused;
    return cdcSession->worker()->addFileRead(path);
}

void Amodule::abortFileWrite()
{
    if (isConnected() && cdcSession->worker())
        cdcSession->worker()->cancelFileWrite();
}

void Amodule::abortFileRead()
{
    if (isConnected() && cdcSession->worker())
        cdcSession->worker()->cancelFileRead();
}

bool Amodule::isFileTransferPending()
{
    if (!cdcSession || !cdcSession->worker())
        return false;
    return cdcSession->worker()->isFileTransferPending();
}

int Amodule::layoutOfVersion(const QString &version)
{
    const QStringList fields = version.split(QLatin1Char(','));
    if (fields.size() < 2)
        return 0;
    return fields.at(1).trimmed().toInt() & 0xFF;
}

int Amodule::queueFlash(int kind, uint32_t addr, uint32_t size, const char *data, int layout)
{
    CdcUsbProcess *w = worker();
    if (!w)
        return -1;
    FlashRecord record;
    record.kind = kind;
    record.address = addr;
    record.size = size;
    record.layout = layout;
    if (data && size > 0)
        record.data = QByteArray(data, int(qMin<uint32_t>(size, uint32_t(INT_MAX))));
    return w->addFlashRecord(record) ? 0 : -1;
}

int Amodule::eraseFlash(uint32_t addr, uint32_t size)
{
    return queueFlash(FlashRecord::Erase, addr, size, nullptr, layoutOfVersion(fullVersion));
}

int Amodule::writeFlash(uint32_t addr, uint32_t size, const char *data)
{
    return queueFlash(FlashRecord::Write, addr, size, data, 0);
}

int Amodule::verifyFlash(uint32_t addr, uint32_t size, const char *data)
{
    return queueFlash(FlashRecord::Verify, addr, size, data, 0);
}

int Amodule::exitBootloader()
{
    return queueFlash(FlashRecord::ExitBoot, 0, 0, nullptr, 0);
}

CdcUsbProcess *Amodule::worker() const
{
    if (closing || !cdcSession)
        return nullptr;
    return cdcSession->worker();
}

void Amodule::close()
{
    closing = true;
    on_cdcDisconnected();
    abandonDownloads();
    delete cdcSession;
    cdcSession = nullptr;
}

bool Amodule::closeAndWait(int ms)
{
    closing = true;
    on_cdcDisconnected();
    abandonDownloads();
    bool ended = true;
    if (cdcSession)
        ended = cdcSession->stopAndWait(ms);
    delete cdcSession;
    cdcSession = nullptr;
    return ended;
}

QString Amodule::failureReason(const QString &answer)
{
    const QString text = answer.trimmed();
    if (text.isEmpty())
        return QStringLiteral("no answer");
    if (text == QLatin1String("ERROR TIMEOUT"))
        return QStringLiteral("no answer in time");
    if (text == QLatin1String("ERROR OVERFLOW"))
        return QStringLiteral("an answer too long to take");
    if (text.startsWith(QLatin1String("ERROR")))
        return QStringLiteral("the device answered %1").arg(text);
    return QStringLiteral("the device did not confirm its answer \"%1\"").arg(text);
}

QString Amodule::inputStateText(int code)
{
    // The state of an input or line uses the names of the operating modes.
    return StatusDecoder::modeName(code);
}

void Amodule::on_cdcConnected()
{
    qCDebug(lcLink) << "on_cdcConnected";
    if (closing)
        return;
    deviceConnected = true;
    versionAsked = false;
    askVersion();
}

void Amodule::askVersion()
{
    if (versionAsked || refused())
        return;
    versionAsked = cdcSession->worker()->addRequest(QStringLiteral("GET VERSION"));
}

void Amodule::on_cdcLinkChecked()
{
    // A version request that failed (refused, garbled, unconfirmed) leaves the link open
    // but the device unknown: it is asked again at every link check until it tells.
    if (!closing && deviceConnected && typeCode == 0)
        askVersion();
}

void Amodule::on_cdcDisconnected()
{
    qCDebug(lcLink) << "on_cdcDisconnected";
    droppedList = readList;
    readList.clear();
    deviceConnected = false;
    versionAsked = false;
    typeCode = 0;
    emit disconnected();
}

void Amodule::on_cdcReceivedAnswer(QString request, QString answer, int err)
{
    qCDebug(lcLink) << "on_receivedAnswer";
    qCDebug(lcLink).noquote() << request << answer.trimmed() << err;
    if (closing)
        return;
    if (err != 0)
        emit exchangeError(err);

    const QStringList words = request.split(QLatin1Char(' '));
    const QString verb = words.value(0);
    const QString second = words.value(1);
    if (verb == QLatin1String("SET")) {
        if (second == QLatin1String("DESCRIPTOR")) {
            QString name;
            int index = 0;
            splitIndex(words.value(2), &name, &index);
            const QString key =
                words.value(2).mid(words.value(2).startsWith(descPrefix) ? descPrefix.size() : 0);
            if (err == 0) {
                readValues.insert(key, words.mid(3).join(QLatin1Char(' ')));
            } else {
                // The write was recorded before it was sent; that it did not happen is
                // recorded too (a trail that fails now cannot undo anything).
                audit(QLatin1String(AuditRecord::descriptorWriteFailed),
                      {{QStringLiteral("name"), key},
                       {QStringLiteral("reason"), failureReason(answer)}});
            }
            emit writedDescriptor(name, QVariant(words.value(3)), index, err);
            if (pendingDescriptorReads() == 0)
                emit endWriteDescriptors();
        } else {
            emit writedParam(second, answer, err);
        }
    } else if (verb == QLatin1String("GET")) {
        if (second == QLatin1String("VERSION")) {
            versionAsked = false;
            const QStringList parts = answer.split(QLatin1Char(' '));
            // A failed exchange never identifies the device, whatever its first line says.
            if (err == 0 && parts.size() >= 2) {
                const int code = deviceTypeFromKey(parts.at(0));
                if (code != 0) {
                    deviceConnected = true;
                    fullVersion = parts.at(1);
                    typeCode = code;
                    emit connected(code, parts.at(1));
                }
            }
        } else if (second.startsWith(QLatin1String("DESCRIPTOR"))) {
            const QString value =
                answer.split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QLatin1Char(' '));
            const QString sent = words.value(2);
            QString name;
            int index = 0;
            splitIndex(sent, &name, &index);
            if (name.startsWith(descPrefix))
                name.remove(descPrefix);
            readValues.insert(index == 0 && !sent.contains(QLatin1Char('['))
                                  ? name
                                  : name + QStringLiteral("[%1]").arg(index),
                              value);
            emit receivedDescriptor(name, QVariant(value), index, 0);
            if (!readList.isEmpty()) {
                // Names are listed with or without the prefix; an indexed name listed
                // without the prefix is found by its last form.
                QStringList candidates {name, descPrefix + name, sent};
                if (name != sent && !sent.endsWith(name))
                    candidates.append(name + sent.mid(sent.indexOf(QLatin1Char('['))));
                for (const QString &candidate : qAsConst(candidates)) {
                    if (readList.removeOne(candidate))
                        break;
                }
                if (readList.isEmpty())
                    emit endReadList();
            }
        } else {
            emit receivedParam(second, answer, 0);
        }
    }
}

void Amodule::on_fileBlockWrited(QString filepath, int position, int filesize, int err)
{
    emit writedFileBlock(filepath, position, filesize, err);
}

void Amodule::on_fileBlockReaded(QString filepath, int position, int filesize, QByteArray *buf,
                                 int err)
{
    // The facade owns the buffer: every receiver reads it while the signal is delivered
    // (several may listen for one file), and it goes afterwards.
    const std::unique_ptr<QByteArray> owned(buf);
    if (closing)
        return;
    emit readedFileBlock(filepath, position, filesize, owned.get(), err);
}
