#include "project/scenario.h"

#include "project/jsonread.h"

#include <QJsonArray>

#include <cmath>
#include <limits>

namespace {

// The object less the keys this version reads itself.
QJsonObject unknownKeys(QJsonObject object, std::initializer_list<const char *> known)
{
    for (const char *key : known)
        object.remove(QLatin1String(key));
    return object;
}

// Notes every key whose value is there but not of the type read: such a value reads as the
// key's default, and the scenario is kept as it was read.
class TypeCheck {
public:
    explicit TypeCheck(QStringList *unreadable)
        : unreadable(unreadable)
    {
    }

    void whole(const QJsonObject &object, const char *key, double min, double max,
               const QString &path) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return;
        const double number = value.toDouble();
        if (!value.isDouble() || !std::isfinite(number) || number != std::trunc(number) ||
            number < min || number > max)
            note(path, key);
    }
    void integer(const QJsonObject &object, const char *key, const QString &path) const
    {
        whole(object, key, double(std::numeric_limits<int>::min()),
              double(std::numeric_limits<int>::max()), path);
    }
    void is(const QJsonObject &object, const char *key, QJsonValue::Type type,
            const QString &path) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isUndefined() && value.type() != type)
            note(path, key);
    }
    void element(const QJsonValue &value, const QString &path) const
    {
        if (!value.isObject())
            *unreadable << path;
    }

private:
    void note(const QString &path, const char *key) const
    {
        *unreadable << (path.isEmpty() ? QString() : path + QLatin1Char('.')) + QLatin1String(key);
    }

    QStringList *unreadable;
};

ScenarioAlgo algoFromJson(const QJsonObject &object, const TypeCheck &check, const QString &path)
{
    check.integer(object, "type", path);
    ScenarioAlgo algo;
    algo.type = JsonRead::integer(object, "type", -1);
    if (algo.type == ScenarioAlgo::Start) {
        check.is(object, "runby", QJsonValue::String, path);
        algo.always =
            JsonRead::string(object, "runby", QStringLiteral("always")) == QLatin1String("always");
        algo.extra = unknownKeys(object, {"type", "events", "runby"});
    } else if (algo.type == ScenarioAlgo::Stop) {
        check.is(object, "stopby", QJsonValue::String, path);
        algo.inputsOff = JsonRead::string(object, "stopby", QStringLiteral("inputs_off")) ==
            QLatin1String("inputs_off");
        algo.extra = unknownKeys(object, {"type", "events", "stopby"});
    } else {
        algo.extra = unknownKeys(object, {"type", "events"});
    }
    check.is(object, "events", QJsonValue::Array, path);
    const QJsonArray events = JsonRead::array(object, "events");
    for (int i = 0; i < events.size(); ++i) {
        const QString eventPath = path + QStringLiteral(".events[%1]").arg(i);
        check.element(events.at(i), eventPath);
        const QJsonObject eventObject = events.at(i).toObject();
        check.whole(eventObject, "device_index", 0, double(std::numeric_limits<quint32>::max()),
                    eventPath);
        check.integer(eventObject, "inout_index", eventPath);
        check.integer(eventObject, "state", eventPath);
        ScenarioEvent event;
        event.device_index = JsonRead::uint32(eventObject, "device_index", 0);
        if (event.device_index == 0)
            continue;
        event.inout_index = JsonRead::integer(eventObject, "inout_index", -1);
        event.state = JsonRead::integer(eventObject, "state", -1);
        event.extra = unknownKeys(eventObject, {"device_index", "inout_index", "state"});
        algo.events.append(event);
    }
    return algo;
}

QJsonObject algoToJson(const ScenarioAlgo &algo)
{
    QJsonObject object = algo.extra;
    object.insert(QStringLiteral("type"), algo.type);
    if (algo.type == ScenarioAlgo::Start) {
        object.insert(QStringLiteral("runby"),
                      algo.always ? QStringLiteral("always") : QStringLiteral("event_list"));
    } else if (algo.type == ScenarioAlgo::Stop) {
        object.insert(QStringLiteral("stopby"),
                      algo.inputsOff ? QStringLiteral("inputs_off") : QStringLiteral("event_list"));
    }
    QJsonArray events;
    for (const ScenarioEvent &event : algo.events) {
        QJsonObject eventObject = event.extra;
        eventObject.insert(QStringLiteral("device_index"), qint64(event.device_index));
        eventObject.insert(QStringLiteral("inout_index"), event.inout_index);
        eventObject.insert(QStringLiteral("state"), event.state);
        events.append(eventObject);
    }
    object.insert(QStringLiteral("events"), events);
    return object;
}

} // namespace

Scenario Scenario::fromJson(const QJsonObject &object)
{
    Scenario scenario;
    scenario.name = JsonRead::string(object, "name");
    scenario.priority = JsonRead::integer(object, "priority", -1);
    scenario.timer = JsonRead::boolean(object, "timer", true);
    scenario.shedule = JsonRead::boolean(object, "shedule", false);
    scenario.dependencies = JsonRead::boolean(object, "dependencies", false);
    scenario.extra =
        unknownKeys(object, {"name", "priority", "timer", "shedule", "dependencies", "algos"});
    const TypeCheck check(&scenario.unreadableKeys);
    check.is(object, "name", QJsonValue::String, QString());
    check.integer(object, "priority", QString());
    for (const char *key : {"timer", "shedule", "dependencies"})
        check.is(object, key, QJsonValue::Bool, QString());
    check.is(object, "algos", QJsonValue::Array, QString());
    const QJsonArray algos = JsonRead::array(object, "algos");
    for (int i = 0; i < algos.size(); ++i) {
        const QString path = QStringLiteral("algos[%1]").arg(i);
        check.element(algos.at(i), path);
        scenario.algos.append(algoFromJson(algos.at(i).toObject(), check, path));
    }
    if (!scenario.unreadableKeys.isEmpty())
        scenario.original = object;
    return scenario;
}

QJsonObject Scenario::toJson() const
{
    if (!isEditable()) {
        // As it was read; a name the user gave it is the one change it takes.
        QJsonObject object = original;
        if (!unreadableKeys.contains(QLatin1String("name")) &&
            JsonRead::string(original, "name") != name)
            object.insert(QStringLiteral("name"), name);
        return object;
    }
    QJsonArray algoArray;
    for (const ScenarioAlgo &algo : algos)
        algoArray.append(algoToJson(algo));

    QJsonObject object = extra;
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("priority"), priority);
    object.insert(QStringLiteral("timer"), timer);
    object.insert(QStringLiteral("shedule"), shedule);
    object.insert(QStringLiteral("dependencies"), dependencies);
    object.insert(QStringLiteral("algos"), algoArray);
    return object;
}

Scenario Scenario::created(const QString &name)
{
    Scenario scenario;
    scenario.name = name;
    ScenarioAlgo start;
    start.type = ScenarioAlgo::Start;
    // Started by its events: a new scenario is never active on its own.
    start.always = false;
    ScenarioAlgo stop;
    stop.type = ScenarioAlgo::Stop;
    stop.inputsOff = true;
    scenario.algos = {start, stop};
    return scenario;
}

QString Scenario::algoIconPath(int type)
{
    switch (type) {
    case ScenarioAlgo::Start:
        return QStringLiteral(":/images/icons/start-icon.png");
    case ScenarioAlgo::Stop:
        return QStringLiteral(":/images/icons/finish-icon.png");
    case ScenarioAlgo::Timer:
        return QStringLiteral(":/images/icons/timer-icon.png");
    case ScenarioAlgo::Schedule:
        return QStringLiteral(":/images/icons/schedule-icon.png");
    default:
        return QStringLiteral(":/images/icons/algo-icon.png");
    }
}

QString Scenario::algoTitle(int type)
{
    switch (type) {
    case ScenarioAlgo::Start:
        return QStringLiteral("Запуск");
    case ScenarioAlgo::Stop:
        return QStringLiteral("Остановка");
    default:
        return QString();
    }
}

void Scenario::registerMetaType()
{
    qRegisterMetaType<Scenario>("Scenario");
}
