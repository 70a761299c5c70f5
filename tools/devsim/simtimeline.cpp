#include "tools/devsim/simtimeline.h"

#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simulator.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

// Scripts longer than this are refused.
constexpr qint64 maxScriptBytes = 4 * 1024 * 1024;

bool toSize(const QString &text, qint64 *value)
{
    bool ok = false;
    *value = text.toLongLong(&ok, 10);
    return ok && *value >= 0;
}

bool toNumber(const QString &text, int *value)
{
    bool ok = false;
    const int number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? text.mid(2).toInt(&ok, 16)
        : text.toInt(&ok, 10);
    if (ok)
        *value = number;
    return ok;
}

const QStringList lineStateNames = {"normal", "short", "open", "tolerance"};

QString faultString(const QString &name)
{
    if (name == QLatin1String("amplifier") || name == QLatin1String("um"))
        return QStringLiteral("um error");
    if (name == QLatin1String("battery") || name == QLatin1String("accum"))
        return QStringLiteral("accum error");
    if (name == QLatin1String("mains") || name == QLatin1String("power"))
        return QStringLiteral("no ext power");
    if (name == QLatin1String("tamper"))
        return QStringLiteral("tamper");
    return QString();
}

} // namespace

SimTimeline::SimTimeline(Simulator *simulator, SimStatusServer *server, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_server(server)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SimTimeline::next);
}

bool SimTimeline::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open timeline %1").arg(path);
        return false;
    }
    if (file.size() > maxScriptBytes) {
        if (error)
            *error = QStringLiteral("timeline %1 is too large").arg(path);
        return false;
    }
    return parse(QString::fromUtf8(file.readAll()), error);
}

bool SimTimeline::parse(const QString &text, QString *error)
{
    QList<Step> steps;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        QString reason;
        Step step;
        bool ok = words.size() >= 3 && words.at(0) == QLatin1String("at") &&
            (words.at(2) == QLatin1String("s") || words.at(2) == QLatin1String("ms"));
        double when = ok ? words.at(1).toDouble(&ok) : 0;
        if (!ok || !std::isfinite(when) || when < 0 || when > 1e7) {
            reason = QStringLiteral("expected 'at <time> s ...'");
        } else {
            step.atMs = qint64(words.at(2) == QLatin1String("s") ? when * 1000 : when);
            step.text = line;
            ok = parseStep(words.mid(3), &step, &reason);
        }
        if (!ok || !reason.isEmpty()) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(reason);
            return false;
        }
        steps.append(step);
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Step &a, const Step &b) { return a.atMs < b.atMs; });
    m_steps = steps;
    m_next = 0;
    return true;
}

bool SimTimeline::parseStep(const QStringList &words, Step *step, QString *error) const
{
    const QString target = words.value(0);
    int consumed = 1;
    if (target == QLatin1String("all")) {
        step->devices = m_simulator->devices();
    } else if (target == QLatin1String("device") || target == QLatin1String("serial")) {
        int number = 0;
        if (!toNumber(words.value(1), &number)) {
            *error = QStringLiteral("expected a number after '%1'").arg(target);
            return false;
        }
        SimDevice *device = target == QLatin1String("device")
            ? m_simulator->devices().value(number - 1)
            : m_simulator->deviceBySerial(number);
        if (!device) {
            *error = QStringLiteral("no %1 %2").arg(target).arg(number);
            return false;
        }
        step->devices = {device};
        consumed = 2;
    } else {
        *error = QStringLiteral("expected 'device N', 'serial S' or 'all'");
        return false;
    }
    step->action = words.value(consumed);
    step->args = words.mid(consumed + 1);
    return checkAction(*step, error);
}

bool SimTimeline::checkAction(const Step &step, QString *error) const
{
    const QString &action = step.action;
    const QStringList &args = step.args;
    int number = 0;
    auto fail = [error](const QString &reason) {
        *error = reason;
        return false;
    };
    if (action == QLatin1String("line")) {
        if (args.size() != 2 || !toNumber(args.at(0), &number) || number < 1 || number > 8 ||
            !lineStateNames.contains(args.at(1)))
            return fail(QStringLiteral("expected 'line 1..8 normal|short|open|tolerance'"));
    } else if (action == QLatin1String("line-value")) {
        int millivolts = 0;
        if (args.size() != 2 || !toNumber(args.at(0), &number) || number < 1 || number > 8 ||
            !toNumber(args.at(1), &millivolts) || millivolts < 0 || millivolts > 99999)
            return fail(QStringLiteral("expected 'line-value 1..8 MILLIVOLTS' (0..99999)"));
    } else if (action == QLatin1String("fault")) {
        if (args.size() != 2 || faultString(args.at(0)).isEmpty() ||
            (args.at(1) != QLatin1String("on") && args.at(1) != QLatin1String("off")))
            return fail(QStringLiteral("expected 'fault amplifier|battery|mains|tamper on|off'"));
    } else if (action == QLatin1String("mode") || action == QLatin1String("byte3")) {
        if (args.size() != 1 || !toNumber(args.at(0), &number) || number < -128 || number > 255)
            return fail(QStringLiteral("expected '%1 <number>'").arg(action));
    } else if (action == QLatin1String("console") || action == QLatin1String("extension")) {
        const int last = action == QLatin1String("console") ? 32 : 9;
        if (args.size() != 2 || !toNumber(args.at(0), &number) || number < 1 || number > last ||
            (args.at(1) != QLatin1String("faulty") && args.at(1) != QLatin1String("ok")))
            return fail(QStringLiteral("expected '%1 1..%2 faulty|ok'").arg(action).arg(last));
    } else if (action == QLatin1String("key") || action == QLatin1String("version")) {
        if (args.size() != 1)
            return fail(QStringLiteral("expected '%1 <text>'").arg(action));
    } else if (action == QLatin1String("storage")) {
        qint64 size = 0;
        if ((args.size() != 1 && args.size() != 3) || !toNumber(args.at(0), &number) ||
            number < 0 || number > 255 ||
            (args.size() == 3 && (!toSize(args.at(1), &size) || !toSize(args.at(2), &size))))
            return fail(QStringLiteral("expected 'storage STATUS [SIZE FREE]' (0..255, bytes)"));
    } else if (action == QLatin1String("status-answer")) {
        if (args.isEmpty())
            return fail(QStringLiteral("expected 'status-answer TEXT|normal'"));
    } else if (action == QLatin1String("http")) {
        SimStatusServer::Behaviour behaviour;
        if (args.size() != 1 || !SimStatusServer::behaviourFromName(args.at(0), &behaviour))
            return fail(QStringLiteral("expected 'http normal|silent|404|empty|not-json|"
                                       "not-object|oversized|slow|endless'"));
        if (!m_server)
            return fail(QStringLiteral("'http' needs the status server (--status-port)"));
    } else {
        return fail(QStringLiteral("unknown action '%1'").arg(action));
    }
    return true;
}

bool SimTimeline::apply(const QString &text, QString *error)
{
    Step step;
    QString reason;
    const QStringList words = text.trimmed().split(QRegularExpression(QStringLiteral("\\s+")));
    if (!parseStep(words, &step, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    step.text = text.trimmed();
    run(step);
    return true;
}

void SimTimeline::run(const Step &step)
{
    const QString &action = step.action;
    const QStringList &args = step.args;
    int number = 0;
    toNumber(args.value(0), &number);
    for (SimDevice *device : step.devices) {
        if (action == QLatin1String("line")) {
            device->lineStates[number - 1] = lineStateNames.indexOf(args.at(1));
        } else if (action == QLatin1String("line-value")) {
            int millivolts = 0;
            toNumber(args.at(1), &millivolts);
            device->lineValues[size_t(number - 1)] = millivolts;
        } else if (action == QLatin1String("fault")) {
            const QString fault = faultString(args.at(0));
            device->errors.removeAll(fault);
            if (args.at(1) == QLatin1String("on"))
                device->errors.append(fault);
        } else if (action == QLatin1String("mode")) {
            device->mode = int(qint8(number));
        } else if (action == QLatin1String("byte3")) {
            device->statusByte3 = uint8_t(number);
        } else if (action == QLatin1String("console")) {
            const uint32_t bit = 1u << (number - 1);
            device->consoleFaults = args.at(1) == QLatin1String("faulty")
                ? device->consoleFaults | bit
                : device->consoleFaults & ~bit;
        } else if (action == QLatin1String("extension")) {
            const uint16_t bit = uint16_t(1u << (number - 1));
            device->extensionFaults = args.at(1) == QLatin1String("faulty")
                ? uint16_t(device->extensionFaults | bit)
                : uint16_t(device->extensionFaults & ~bit);
        } else if (action == QLatin1String("key")) {
            device->reportedKey = args.at(0);
        } else if (action == QLatin1String("version")) {
            device->version = args.at(0);
        } else if (action == QLatin1String("storage")) {
            device->storageStatus = number;
            device->storageTotal = -1;
            device->storageFree = -1;
            if (args.size() == 3) {
                toSize(args.at(1), &device->storageTotal);
                toSize(args.at(2), &device->storageFree);
            }
        } else if (action == QLatin1String("status-answer")) {
            const QString text = args.join(QLatin1Char(' '));
            device->statusAnswer = text == QLatin1String("normal") ? QString() : text;
        } else if (action == QLatin1String("http") && m_server) {
            SimStatusServer::Behaviour behaviour = SimStatusServer::Behaviour::Normal;
            SimStatusServer::behaviourFromName(args.at(0), &behaviour);
            m_server->setBehaviour(device, behaviour);
        }
        device->touch();
    }
    emit stepApplied(step.text);
}

void SimTimeline::start()
{
    m_next = 0;
    m_clock.start();
    next();
}

void SimTimeline::next()
{
    while (m_next < m_steps.size() && m_steps.at(m_next).atMs <= m_clock.elapsed())
        run(m_steps.at(m_next++));
    if (m_next < m_steps.size()) {
        m_timer.start(int(qMax<qint64>(0, m_steps.at(m_next).atMs - m_clock.elapsed())));
        return;
    }
    emit finished();
}
