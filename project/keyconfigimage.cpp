#include "project/keyconfigimage.h"

#include "project/devicetype.h"
#include "project/inout.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QTextCodec>

#include <limits>

namespace {

constexpr quint16 formatNumber = 1;
constexpr int maxNameBytes = 32;
constexpr int maskBits = 64;
constexpr quint8 flagSerial = 0x80;
constexpr quint8 flagIpv4 = 0x40;
constexpr quint8 flagRs485 = 0x20;

void appendLittleEndian(QByteArray *bytes, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes->append(char((value >> (8 * i)) & 0xFF));
}

QByteArray nameBytes(const InOut *button)
{
    static QTextCodec *const codec = QTextCodec::codecForName("Windows-1251");
    return codec->fromUnicode(button->displayName()).left(maxNameBytes);
}

QString targetText(const ProjectDevice *target)
{
    return QStringLiteral("device %1 (serial %2)").arg(target->id_obj).arg(target->serial);
}

// One link record without its length byte; false with the reason when it cannot be built.
bool linkRecord(const ProjectDevice *target, const OutLink &link, QByteArray *record,
                QString *error)
{
    quint8 flags = flagSerial;
    if (target->ip_enabled)
        flags |= flagIpv4;
    if (target->rs485_enabled)
        flags |= flagRs485;
    if (target->type < 0 || target->type > 0xFF) {
        *error = QStringLiteral("%1 has type code %2, which does not fit one byte")
                     .arg(targetText(target))
                     .arg(target->type);
        return false;
    }
    record->append(char(flags));
    record->append(char(target->type));
    appendLittleEndian(record, target->serial, 4);
    if (target->ip_enabled) {
        quint32 address = 0;
        if (!Ipv4Address::parse(target->ip_addr, &address)) {
            *error = QStringLiteral("%1 has the IPv4 address '%2', which is not four decimal "
                                    "numbers from 0 to 255")
                         .arg(targetText(target), target->ip_addr);
            return false;
        }
        appendLittleEndian(record, address, 4);
    }
    if (target->rs485_enabled)
        record->append(char(target->rs485_addr));

    const int base = target->firstLineIndex();
    quint64 mask = 0;
    int highest = 0;
    for (const int channel : link.indexes) {
        const qint64 bit = qint64(channel) - base;
        if (bit < 0 || bit >= maskBits)
            continue;
        mask |= quint64(1) << bit;
        highest = qMax(highest, int(bit));
    }
    const int maskBytes = highest / 8 + 1;
    record->append(char(maskBytes));
    appendLittleEndian(record, mask, maskBytes);
    return true;
}

} // namespace

bool keyConfigImage(const ProjectDevice *console, QByteArray *image, QString *error)
{
    QString reason;
    auto refuse = [error, &reason]() {
        if (error)
            *error = reason;
        return false;
    };

    QByteArray entries;
    if (console && isConsoleType(console->type)) {
        const ProjectModel *project = console->projectModel();
        int key = 0;
        for (const InOut *io : console->inouts) {
            if (io->type != InOutType::Button)
                continue;
            if (key > 0xFF) {
                reason = QStringLiteral("the console has more than 256 buttons");
                return refuse();
            }
            const QByteArray name = nameBytes(io);
            QByteArray entry;
            entry.append(char(key));
            entry.append(char(name.size()));
            entry.append(name);
            for (const OutLink &link : io->outlinks) {
                const ProjectDevice *target =
                    project ? project->findDeviceById(link.id_obj) : nullptr;
                if (!target)
                    continue;
                QByteArray record;
                if (!linkRecord(target, link, &record, &reason)) {
                    reason = QStringLiteral("button %1 \"%2\": %3")
                                 .arg(key + 1)
                                 .arg(io->displayName(), reason);
                    return refuse();
                }
                if (record.size() > 0xFF) {
                    reason = QStringLiteral("button %1: a link record of %2 bytes is longer "
                                            "than 255 bytes")
                                 .arg(key + 1)
                                 .arg(record.size());
                    return refuse();
                }
                entry.append(char(record.size()));
                entry.append(record);
                // Bounded here, so that a button with a huge link list is refused early.
                if (entry.size() > 0xFFFF) {
                    reason = QStringLiteral("button %1 \"%2\" has too many links: its entry "
                                            "would be longer than 65535 bytes")
                                 .arg(key + 1)
                                 .arg(io->displayName());
                    return refuse();
                }
            }
            if (qint64(entries.size()) + 2 + entry.size() + 6 >
                qint64(std::numeric_limits<quint32>::max())) {
                reason = QStringLiteral("the image would be longer than 4294967295 bytes");
                return refuse();
            }
            appendLittleEndian(&entries, quint64(entry.size()), 2);
            entries.append(entry);
            ++key;
        }
    }

    QByteArray result;
    result.reserve(6 + entries.size());
    appendLittleEndian(&result, quint64(6 + entries.size()), 4);
    appendLittleEndian(&result, formatNumber, 2);
    result.append(entries);
    if (image)
        *image = result;
    return true;
}
