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

    void algoOptions_data()
    {
        QTest::addColumn<QByteArray>("algo");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("always");
        QTest::addColumn<bool>("inputsOff");

        QTest::newRow("start without runby") << QByteArray(R"({"type":0})") << 0 << true << true;
        QTest::newRow("start by events")
            << QByteArray(R"({"type":0,"runby":"event_list"})") << 0 << false << true;
        QTest::newRow("start, other text")
            << QByteArray(R"({"type":0,"runby":"sometimes"})") << 0 << false << true;
        QTest::newRow("start, runby not a string")
            << QByteArray(R"({"type":0,"runby":1})") << 0 << true << true;
        QTest::newRow("stop without stopby")
            << QByteArray(R"({"type":255})") << 255 << true << true;
        QTest::newRow("stop by events")
            << QByteArray(R"({"type":255,"stopby":"event_list"})") << 255 << true << false;
        QTest::newRow("timer ignores both")
            << QByteArray(R"({"type":1,"runby":"event_list","stopby":"event_list"})") << 1 << true
            << true;
        QTest::newRow("missing type")
            << QByteArray(R"({"runby":"event_list"})") << -1 << true << true;
    }

    void algoOptions()
    {
        QFETCH(QByteArray, algo);
        QFETCH(int, type);
        QFETCH(bool, always);
        QFETCH(bool, inputsOff);

        const Scenario scenario = parse("{\"algos\":[" + algo + "]}");
        QCOMPARE(scenario.algos.size(), 1);
        QCOMPARE(scenario.algos.first().type, type);
        QCOMPARE(scenario.algos.first().always, always);
        QCOMPARE(scenario.algos.first().inputsOff, inputsOff);
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

    void editorLabels_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("title");
        QTest::newRow("start") << 0 << "start-icon.png"
                               << "Запуск";
        QTest::newRow("stop") << 255 << "finish-icon.png"
                              << "Остановка";
        QTest::newRow("timer") << 1 << "timer-icon.png"
                               << "";
        QTest::newRow("schedule") << 3 << "schedule-icon.png"
                                  << "";
        QTest::newRow("algorithm") << 2 << "algo-icon.png"
                                   << "";
        QTest::newRow("other") << 77 << "algo-icon.png"
                               << "";
    }

    void editorLabels()
    {
        QFETCH(int, type);
        QFETCH(QString, icon);
        QFETCH(QString, title);
        QCOMPARE(Scenario::algoIconPath(type), ":/images/icons/" + icon);
        QCOMPARE(Scenario::algoTitle(type), title);
    }
};

QTEST_GUILESS_MAIN(TestScenario)
#include "tst_scenario.moc"
