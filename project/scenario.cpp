#include "project/scenario.h"

#include "project/jsonread.h"

#include <QJsonArray>

Scenario Scenario::fromJson(const QJsonObject &object)
{
    Scenario scenario;
    scenario.name = JsonRead::string(object, "name");
    scenario.timer = JsonRead::boolean(object, "timer", true);
    scenario.shedule = JsonRead::boolean(object, "shedule", false);
    scenario.dependencies = JsonRead::boolean(object, "dependencies", false);

    const QJsonArray algos = JsonRead::array(object, "algos");
    for (const QJsonValue &algoValue : algos) {
        const QJsonObject algoObject = algoValue.toObject();
        ScenarioAlgo algo;
        algo.type = JsonRead::integer(algoObject, "type", -1);
        if (algo.type == ScenarioAlgo::Start) {
            algo.always = JsonRead::string(algoObject, "runby", QStringLiteral("always")) ==
                QLatin1String("always");
        } else if (algo.type == ScenarioAlgo::Stop) {
            algo.inputsOff = JsonRead::string(algoObject, "stopby", QStringLiteral("inputs_off")) ==
                QLatin1String("inputs_off");
        }
        const QJsonArray events = JsonRead::array(algoObject, "events");
        for (const QJsonValue &eventValue : events) {
            const QJsonObject eventObject = eventValue.toObject();
            ScenarioEvent event;
            event.device_index = JsonRead::integer(eventObject, "device_index", 0);
            if (event.device_index == 0)
                continue;
            event.inout_index = JsonRead::integer(eventObject, "inout_index", -1);
            event.state = JsonRead::integer(eventObject, "state", -1);
            algo.events.append(event);
        }
        scenario.algos.append(algo);
    }
    return scenario;
}

QJsonObject Scenario::toJson() const
{
    QJsonArray algoArray;
    for (const ScenarioAlgo &algo : algos) {
        QJsonObject algoObject;
        algoObject.insert(QStringLiteral("type"), algo.type);
        if (algo.type == ScenarioAlgo::Start) {
            algoObject.insert(QStringLiteral("runby"),
                              algo.always ? QStringLiteral("always")
                                          : QStringLiteral("event_list"));
        } else if (algo.type == ScenarioAlgo::Stop) {
            algoObject.insert(QStringLiteral("stopby"),
                              algo.inputsOff ? QStringLiteral("inputs_off")
                                             : QStringLiteral("event_list"));
        }
        QJsonArray eventArray;
        for (const ScenarioEvent &event : algo.events) {
            QJsonObject eventObject;
            eventObject.insert(QStringLiteral("device_index"), event.device_index);
            eventObject.insert(QStringLiteral("inout_index"), event.inout_index);
            eventObject.insert(QStringLiteral("state"), event.state);
            eventArray.append(eventObject);
        }
        algoObject.insert(QStringLiteral("events"), eventArray);
        algoArray.append(algoObject);
    }

    QJsonObject object;
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("priority"), priority);
    object.insert(QStringLiteral("timer"), timer);
    object.insert(QStringLiteral("shedule"), shedule);
    object.insert(QStringLiteral("dependencies"), dependencies);
    object.insert(QStringLiteral("algos"), algoArray);
    return object;
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
