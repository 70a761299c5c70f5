#pragma once

// What the scenario tests share: a project with devices to choose from and a scenario
// that uses everything a scenario can hold.

#include "guitest.h"
#include "testutil.h"

#include "project/scenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ScenarioTest {

// Group "Корпус 1" with a central unit (4201, inputs 9 to 19), an IP console (4301,
// buttons 1 to 8, control input 9) and a loudspeaker (701, no input); a top-level
// central unit without a serial number.
inline void fillProject(ProjectModel *project)
{
    ProjectGroup *group = GuiTest::namedGroup(project, "Корпус 1");
    project->addDevice(group,
                       GuiTest::makeDevice(DeviceType::Norda4200, 4201, true, 0, "127.0.10.2"));
    project->addDevice(group,
                       GuiTest::makeDevice(DeviceType::IpPult, 4301, false, 0, "127.0.10.5", 8));
    project->addDevice(group, GuiTest::makeDevice(DeviceType::Horn, 701, false, 0, "127.0.10.3"));
    project->addDevice(nullptr, GuiTest::makeDevice(DeviceType::Tovik2, 0));
}

// Every option on, a priority, a timer step between the start and the stop step (and the
// other step types after them), start events for a device and an input that the project
// does not have, keys this version does not know.
inline QJsonObject fullScenario()
{
    return QJsonDocument::fromJson(R"({
        "name": "Пожар", "priority": 3, "timer": true, "shedule": true, "dependencies": true,
        "zone": "north",
        "algos": [
            {"type": 0, "runby": "event_list", "events": [
                {"device_index": 4201, "inout_index": 9, "state": 1},
                {"device_index": 9999, "inout_index": 2, "state": 0},
                {"device_index": 4201, "inout_index": 99, "state": -1, "note": "x"}]},
            {"type": 1, "seconds": 30, "events": []},
            {"type": 255, "stopby": "event_list", "events": [
                {"device_index": 4301, "inout_index": 1, "state": 1}]},
            {"type": 2, "events": []},
            {"type": 3, "events": [{"device_index": 701, "inout_index": 1, "state": 1}]}
        ]})")
        .object();
}

// The same without any option, and a scenario without algorithms.
inline QJsonObject plainScenario()
{
    return QJsonDocument::fromJson(R"({
        "name": "", "priority": -1, "timer": false, "shedule": false, "dependencies": false,
        "algos": [
            {"type": 255, "stopby": "inputs_off", "events": []},
            {"type": 0, "runby": "always", "events": [
                {"device_index": 4301, "inout_index": 9, "state": 0}]}
        ]})")
        .object();
}

inline QJsonObject emptyScenario()
{
    return QJsonDocument::fromJson(R"({"name": "Пусто", "priority": 0, "timer": true,
        "shedule": false, "dependencies": false, "algos": []})")
        .object();
}

// Writes a project file with the sample devices and these scenarios, as a user could
// have written it; returns its path.
inline QString writeProject(const QString &path, const QJsonArray &scenarios)
{
    ProjectModel project(ProjectModel::Journals::None);
    fillProject(&project);
    if (project.save(path) != 0)
        return QString();
    QJsonObject root = QJsonDocument::fromJson(TestUtil::readFile(path)).object();
    root.insert("scenarios", scenarios);
    return TestUtil::writeFile(path, QJsonDocument(root).toJson()) ? path : QString();
}

inline QJsonArray scenariosInFile(const QString &path)
{
    return QJsonDocument::fromJson(TestUtil::readFile(path)).object().value("scenarios").toArray();
}

// An algorithm of a scenario's JSON changed by `change`.
template<typename Change> QJsonObject withAlgo(QJsonObject scenario, int index, Change change)
{
    QJsonArray algos = scenario.value("algos").toArray();
    QJsonObject algo = algos.at(index).toObject();
    change(algo);
    algos[index] = algo;
    scenario.insert("algos", algos);
    return scenario;
}

inline QJsonObject event(qint64 device, int input, int state)
{
    return QJsonObject {{"device_index", device}, {"inout_index", input}, {"state", state}};
}

inline QString text(const QJsonValue &value)
{
    return QString::fromUtf8(value.isArray()
                                 ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                 : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

} // namespace ScenarioTest
