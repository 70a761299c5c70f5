#include "project/scenario.h"

#include "project/jsonread.h"

#include <QJsonArray>

namespace {

// The object less the keys this version reads itself.
QJsonObject unknownKeys(QJsonObject object, std::initializer_list<const char *> known)
{
    for (const char *key : known)
        object.remove(QLatin1String(key));
    return object;
}

ScenarioAlgo algoFromJson(const QJsonObject &object)
{
    ScenarioAlgo algo;
    algo.type = JsonRead::integer(object, "type", -1);
    if (algo.type == ScenarioAlgo::Start) {
        algo.always =
            JsonRead::string(object, "runby", QStringLiteral("always")) == QLatin1String("always");
        algo.extra = unknownKeys(object, {"type", "events", "runby"});
    } else if (algo.type == ScenarioAlgo::Stop) {
        algo.inputsOff = JsonRead::string(object, "stopby", QStringLiteral("inputs_off")) ==
            QLatin1String("inputs_off");
        algo.extra = unknownKeys(object, {"type", "events", "stopby"});
    } else {
        algo.extra = unknownKeys(object, {"type", "events"});
    }
    const QJsonArray events = JsonRead::array(object, "events");
    for (const QJsonValue &eventValue : events) {
        const QJsonObject eventObject = eventValue.toObject();
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
    const QJsonArray algos = JsonRead::array(object, "algos");
    for (const QJsonValue &algoValue : algos)
        scenario.algos.append(algoFromJson(algoValue.toObject()));
    return scenario;
}

QJsonObject Scenario::toJson() const
{
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
