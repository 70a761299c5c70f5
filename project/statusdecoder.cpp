#include "project/statusdecoder.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/jsonread.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace {

struct GeneralFault {
    const char *text;
    int kind;
    int code;
};

// In the order in which they are decoded and listed.
const GeneralFault generalFaults[] = {
    {"um error", DeviceFault::Amplifier, EventCode::Amplifier},
    {"accum error", DeviceFault::Battery, EventCode::Battery},
    {"no ext power", DeviceFault::Mains, EventCode::Mains},
    {"tamper", DeviceFault::Tamper, EventCode::Tamper},
};

constexpr int lineBit = 96;
constexpr int consoleBit = StatusDecoder::consoleFaultBit;
constexpr int extensionBit = StatusDecoder::extensionFaultBit;
constexpr int lineStateBytes = 15;
constexpr int consoleStateBytes = 20;
constexpr int extensionStateBytes = 21;

QStringList errorStrings(const QJsonObject &document)
{
    QStringList list;
    const QJsonArray errors = JsonRead::array(document, "errors");
    for (const QJsonValue &value : errors) {
        if (value.isString())
            list.append(value.toString());
    }
    return list;
}

int hexDigit(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QByteArray StatusDecoder::binaryState(const QJsonObject &document)
{
    const QString text = JsonRead::string(document, "binstate");
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const int digit = hexDigit(c.unicode());
        if (digit < 0)
            return QByteArray();
        if (high < 0) {
            high = digit;
        } else {
            bytes.append(char(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0 ? bytes : QByteArray();
}

bool StatusDecoder::bit(const QByteArray &state, int n)
{
    if (n < 0 || n / 8 >= state.size())
        return false;
    return (uchar(state.at(n / 8)) >> (n % 8)) & 1;
}

int StatusDecoder::lineState(const QByteArray &state, int line)
{
    const int first = lineBit + 2 * line;
    return (bit(state, first) ? 1 : 0) + (bit(state, first + 1) ? 2 : 0);
}

QString StatusDecoder::modeName(int mode)
{
    switch (mode) {
    case 0:
        return QStringLiteral("ДЕЖУРНЫЙ РЕЖИМ");
    case 1:
    case 6:
        return QStringLiteral("ПУЛЬТ МИКРОФОН");
    case 2:
        return QStringLiteral("ПУЛЬТ ПУСК");
    case 3:
        return QStringLiteral("ПОЖАР");
    case 4:
        return QStringLiteral("ВХОД УПРАВЛЕНИЯ");
    case 5:
        return QStringLiteral("СИРЕНА");
    case 7:
        return QStringLiteral("ВХОДЯЩАЯ ТРАНСЛЯЦИЯ ETHERNET");
    case 8:
        return QStringLiteral("ТЕСТОВЫЙ СИГНАЛ");
    default:
        return QStringLiteral("НЕКОРРЕКТНОЕ ЗНАЧЕНИЕ");
    }
}

void StatusDecoder::apply(ProjectDevice *device, const QJsonObject &document, const QDateTime &time,
                          const QByteArray &body)
{
    ProjectModel *model = device->projectModel();
    DatabaseLog *log = model ? model->logDb : nullptr;
    const int id = device->id_obj;
    auto record = [log, id, &time](int code) {
        if (log)
            log->insertEvent(id, QString(), code, time);
    };

    // The events and the status journal entry of one document are stored together.
    DatabaseLog::Transaction transaction(log);
    const QStringList newErrors = errorStrings(document);
    const QStringList oldErrors = errorStrings(device->status);

    const QByteArray state = binaryState(document);
    if (state.size() >= 2) {
        device->mode = int(qint8(state.at(0)));
        device->statusByte3 = state.size() >= 4 ? uint8_t(state.at(3)) : 0;
    }

    QList<DeviceFault> faults;
    for (const GeneralFault &fault : generalFaults) {
        const QString text = QLatin1String(fault.text);
        if (newErrors.contains(text)) {
            faults.append(DeviceFault {fault.kind, 0, 1, device});
            if (!oldErrors.contains(text))
                record(fault.code);
        } else if (oldErrors.contains(text)) {
            record(fault.code + EventCode::Cleared);
        }
    }

    if (state.size() >= lineStateBytes) {
        for (int line = 0; line < 8; ++line) {
            const int s = lineState(state, line);
            if (s != 0) {
                faults.append(DeviceFault {DeviceFault::Line, line, s, device});
                // Offered with every status; the journal keeps one record per change.
                static const int bases[] = {0, EventCode::LineShort, EventCode::LineOpen,
                                            EventCode::LineTolerance};
                record(bases[s] + line);
            } else if (log) {
                log->recordLineNormal(id, line, time);
            }
        }
        if (state.size() >= extensionStateBytes) {
            for (int j = 0; j < 9; ++j) {
                if (bit(state, extensionBit + j))
                    faults.append(DeviceFault {DeviceFault::ExtensionUnit, j, 1, device});
            }
        }
    }
    if (state.size() >= consoleStateBytes) {
        for (int k = 0; k < 32; ++k) {
            if (bit(state, consoleBit + k))
                faults.append(DeviceFault {DeviceFault::Console, k, 1, device});
        }
    }

    ProjectDevice::StatusMemo &memo = device->statusMemo;
    if (body.isEmpty() || memo.body != body)
        memo = ProjectDevice::StatusMemo {body, body.isEmpty() ? QJsonObject() : document, {}};
    if (log) {
        if (memo.journalText.isNull() || body.isEmpty())
            memo.journalText =
                QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Compact));
        log->insertStatus(id, memo.journalText, time);
    }

    device->status = document;
    device->lastSeen = time;
    device->faults = faults;
}

void StatusDecoder::takeRecordedFaults(ProjectDevice *device)
{
    ProjectModel *model = device->projectModel();
    DatabaseLog *log = model ? model->logDb : nullptr;
    if (!log)
        return;
    QJsonArray errors;
    QList<DeviceFault> faults;
    for (const GeneralFault &fault : generalFaults) {
        if (log->faultRecorded(device->id_obj, fault.code)) {
            errors.append(QLatin1String(fault.text));
            faults.append(DeviceFault {fault.kind, 0, 1, device});
        }
    }
    QJsonObject document;
    document.insert(QStringLiteral("errors"), errors);
    device->status = document;
    device->faults = faults;
}
