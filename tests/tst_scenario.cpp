#include "project/scenario.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

Scenario parse(const QByteArray &json)
{
    return Scenario::fromJson(QJsonDocument::fromJson(json).object());
}

} // namespace

class TestScenario : public QObject {
    Q_OBJECT

private slots:
    // Values of the wrong type read as if they were missing.
    void wrongTypes()
    {
        const Scenario typed = parse(R"({"name": 3, "timer": "no", "shedule": 1, "algos": {}})");
        QCOMPARE(typed.name, QString());
        QCOMPARE(typed.timer, true);
        QCOMPARE(typed.shedule, false);
        QVERIFY(typed.algos.isEmpty());
    }

    // A key of an unexpected type makes the scenario one that is kept as it was read:
    // written back value for value, whatever else the reader took from it, and renamed
    // only when the user renames it.
    void oddTypesKeptAsRead_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("unreadable");
        const QByteArray algos = R"("algos": [{"type": 0, "runby": "event_list", "events": [
            {"device_index": 1001, "inout_index": 2, "state": 1}]},
            {"type": 255, "stopby": "inputs_off", "events": []}])";
        QTest::newRow("priority 2.5")
            << (R"({"name": "Пожар", "priority": 2.5, "timer": false, )" + algos + "}")
            << QStringList {"priority"};
        QTest::newRow("type \"0\"") << QByteArray(R"({"name": "Пожар", "algos": [
                {"type": "0", "runby": "event_list", "events": [
                    {"device_index": 1001, "inout_index": 2, "state": 1}]},
                {"type": 255, "events": []}]})")
                                    << QStringList {"algos[0].type"};
        QTest::newRow("events as an object") << QByteArray(R"({"name": "Пожар", "algos": [
                {"type": 0, "runby": "event_list",
                 "events": {"device_index": 1001, "inout_index": 2, "state": 1}},
                {"type": 255, "stopby": "event_list", "events": []}]})")
                                             << QStringList {"algos[0].events"};
        QTest::newRow("several") << QByteArray(R"({"name": "Пожар", "timer": "да", "algos": [
                {"type": 0, "events": [{"device_index": "1001", "state": 0.5}]}]})")
                                 << QStringList {"timer", "algos[0].events[0].device_index",
                                                 "algos[0].events[0].state"};
    }

    void oddTypesKeptAsRead()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, unreadable);
        const QJsonObject original = QJsonDocument::fromJson(json).object();
        QVERIFY(!original.isEmpty());
        Scenario scenario = Scenario::fromJson(original);
        QCOMPARE(scenario.unreadableKeys, unreadable);
        QCOMPARE(scenario.isEditable(), unreadable.isEmpty());
        auto text = [](const QJsonObject &object) {
            return QJsonDocument(object).toJson(QJsonDocument::Compact);
        };
        QCOMPARE(text(scenario.toJson()), text(original));
        // Read again from what was written: the same scenario, still not editable.
        QCOMPARE(Scenario::fromJson(scenario.toJson()), scenario);

        scenario.name = QStringLiteral("Эвакуация");
        QJsonObject renamed = original;
        renamed.insert("name", "Эвакуация");
        QCOMPARE(text(scenario.toJson()), text(renamed));
    }

    void algoOptions()
    {
        const struct {
            const char *algo;
            int type;
            bool always, inputsOff;
        } rows[] = {
            {R"({"type":0})", 0, true, true}, // start without runby
            {R"({"type":0,"runby":"event_list"})", 0, false, true},
            {R"({"type":0,"runby":"sometimes"})", 0, false, true},
            {R"({"type":0,"runby":1})", 0, true, true},
            {R"({"type":255})", 255, true, true}, // stop without stopby
            {R"({"type":255,"stopby":"event_list"})", 255, true, false},
            {R"({"type":1,"runby":"event_list","stopby":"event_list"})", 1, true, true},
            {R"({"runby":"event_list"})", -1, true, true}, // missing type
        };
        // The options of an algorithm as a text, with the algorithm they were read from.
        auto options = [](const char *algo, int type, bool always, bool inputsOff) {
            return QStringLiteral("%1: type %2 always %3 inputsOff %4")
                .arg(algo)
                .arg(type)
                .arg(always)
                .arg(inputsOff);
        };
        for (const auto &row : rows) {
            const Scenario scenario = parse(QByteArray("{\"algos\":[") + row.algo + "]}");
            QCOMPARE(scenario.algos.size(), 1);
            const ScenarioAlgo &algo = scenario.algos.first();
            QCOMPARE(options(row.algo, algo.type, algo.always, algo.inputsOff),
                     options(row.algo, row.type, row.always, row.inputsOff));
        }
    }

    void events()
    {
        const Scenario scenario = parse(R"({"algos":[{"type":0,"events":[
            {"device_index": 0, "inout_index": 1, "state": 1},
            {"inout_index": 2, "state": 1},
            {"device_index": 1001},
            {"device_index": 1002, "inout_index": 3, "state": 2},
            "garbage"
        ]}]})");
        const QList<ScenarioEvent> events = scenario.algos.first().events;
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0), (ScenarioEvent {1001, -1, -1, {}}));
        QCOMPARE(events.at(1), (ScenarioEvent {1002, 3, 2, {}}));
    }

    // The priority is read back: a save keeps it.
    void priority_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("priority");
        QTest::newRow("given") << QByteArray(R"({"priority": 3})") << 3;
        QTest::newRow("zero") << QByteArray(R"({"priority": 0})") << 0;
        QTest::newRow("missing") << QByteArray("{}") << -1;
        QTest::newRow("not a number") << QByteArray(R"({"priority": "3"})") << -1;
        QTest::newRow("not whole") << QByteArray(R"({"priority": 2.5})") << -1;
    }

    void priority()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, priority);
        QCOMPARE(parse(json).priority, priority);
    }

    // An event names a device by its serial number, an unsigned 32-bit number; anything
    // else names none and is dropped.
    void eventDevices()
    {
        const Scenario scenario = parse(R"({"algos":[{"type":255,"events":[
            {"device_index": 4294967295, "inout_index": 1, "state": 0},
            {"device_index": -5, "inout_index": 2, "state": 1},
            {"device_index": 4294967296, "inout_index": 3, "state": 1},
            {"device_index": "7", "inout_index": 4, "state": 1}
        ]}]})");
        QCOMPARE(scenario.algos.first().events,
                 QList<ScenarioEvent>({ScenarioEvent {4294967295u, 1, 0, {}}}));
        const QJsonObject written = scenario.toJson();
        QCOMPARE(written.value("algos")[0]["events"][0]["device_index"].toDouble(), 4294967295.0);
    }

    void roundTripKeepsEverything()
    {
        const QByteArray text = R"({
            "name": "Эвакуация", "priority": 7, "timer": false, "shedule": true,
            "dependencies": true, "zone": {"floor": 2},
            "algos": [
                {"type": 0, "runby": "event_list", "stopby": "x", "events": [
                    {"device_index": 1001, "inout_index": 9, "state": 1, "delay": 5},
                    {"device_index": 1002, "inout_index": 10, "state": 0}]},
                {"type": 1, "runby": "event_list", "seconds": 30, "events": []},
                {"type": 2, "steps": [1, 2], "events": []},
                {"type": 3, "days": "Mon", "events": [{"device_index": 7, "inout_index": 1,
                                                       "state": -1}]},
                {"type": 255, "stopby": "event_list", "events": [
                    {"device_index": 1003, "inout_index": 1, "state": 1}]}
            ]})";
        const QJsonObject original = QJsonDocument::fromJson(text).object();
        const Scenario scenario = Scenario::fromJson(original);
        QCOMPARE(scenario.priority, 7);
        QCOMPARE(scenario.algos.size(), 5);
        QCOMPARE(scenario.toJson(), original);
        QCOMPARE(Scenario::fromJson(scenario.toJson()), scenario);
    }

    // A new scenario holds only what reading gives back the same.
    void created()
    {
        const Scenario scenario = Scenario::created("Новый сценарий");
        const QJsonObject object = scenario.toJson();
        QCOMPARE(QJsonDocument(object).toJson(QJsonDocument::Compact),
                 QByteArray(R"({"algos":[{"events":[],"runby":"event_list","type":0},)"
                            R"({"events":[],"stopby":"inputs_off","type":255}],)"
                            R"("dependencies":false,"name":"Новый сценарий","priority":-1,)"
                            R"("shedule":false,"timer":true})"));
        QCOMPARE(Scenario::fromJson(object), scenario);
    }

    void writtenKeys()
    {
        Scenario scenario;
        ScenarioAlgo start;
        start.type = 0;
        ScenarioAlgo step;
        step.type = 2;
        ScenarioAlgo stop;
        stop.type = 255;
        scenario.algos = {start, step, stop};
        const QJsonObject object = scenario.toJson();
        QCOMPARE(object.keys(),
                 QStringList({"algos", "dependencies", "name", "priority", "shedule", "timer"}));
        const QJsonArray algos = object.value("algos").toArray();
        QCOMPARE(algos.at(0).toObject().keys(), QStringList({"events", "runby", "type"}));
        QCOMPARE(algos.at(0).toObject().value("runby").toString(), "always");
        QCOMPARE(algos.at(1).toObject().keys(), QStringList({"events", "type"}));
        QCOMPARE(algos.at(2).toObject().keys(), QStringList({"events", "stopby", "type"}));
        QCOMPARE(algos.at(2).toObject().value("stopby").toString(), "inputs_off");
    }

    void travelsInVariant()
    {
        Scenario::registerMetaType();
        QCOMPARE(QMetaType::type("Scenario"), qMetaTypeId<Scenario>());
        Scenario scenario;
        scenario.name = "x";
        const QVariant variant = QVariant::fromValue(scenario);
        QCOMPARE(variant.value<Scenario>().name, "x");
    }
};

QTEST_GUILESS_MAIN(TestScenario)
#include "tst_scenario.moc"
