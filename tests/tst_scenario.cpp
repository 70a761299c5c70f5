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
    void defaults()
    {
        const Scenario empty = parse("{}");
        QCOMPARE(empty.name, QString());
        QCOMPARE(empty.priority, -1);
        QCOMPARE(empty.timer, true);
        QCOMPARE(empty.shedule, false);
        QCOMPARE(empty.dependencies, false);
        QVERIFY(empty.algos.isEmpty());

        const Scenario typed = parse(R"({"name": 3, "timer": "no", "shedule": 1, "algos": {}})");
        QCOMPARE(typed.name, QString());
        QCOMPARE(typed.timer, true);
        QCOMPARE(typed.shedule, false);
        QVERIFY(typed.algos.isEmpty());
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
        QCOMPARE(events.at(0), (ScenarioEvent {1001, -1, -1}));
        QCOMPARE(events.at(1), (ScenarioEvent {1002, 3, 2}));
    }

    void roundTripLosesOnlyPriority()
    {
        Scenario scenario;
        scenario.name = "Эвакуация";
        scenario.priority = 7;
        scenario.timer = false;
        scenario.shedule = true;
        scenario.dependencies = true;
        ScenarioAlgo start;
        start.type = ScenarioAlgo::Start;
        start.always = false;
        start.events = {ScenarioEvent {1001, 9, 1}, ScenarioEvent {1002, 10, 0}};
        ScenarioAlgo timer;
        timer.type = ScenarioAlgo::Timer;
        ScenarioAlgo stop;
        stop.type = ScenarioAlgo::Stop;
        stop.inputsOff = false;
        stop.events = {ScenarioEvent {1003, 1, 1}};
        scenario.algos = {start, timer, stop};

        const QByteArray text = QJsonDocument(scenario.toJson()).toJson();
        const Scenario back = parse(text);
        QCOMPARE(back.priority, -1);
        Scenario expected = scenario;
        expected.priority = -1;
        QCOMPARE(back, expected);
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
