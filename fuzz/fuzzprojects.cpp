#include "fuzz/fuzzprojects.h"

#include "project/projectfile.h"
#include "project/projectmodel.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// A bootloader is written with the key "bootloader", which reading does not know (it knows
// the "boot" the bootloaders report): such a device comes back of no known type, as the
// files of the old program have it.
QJsonArray asReadBack(const QJsonArray &nodes)
{
    QJsonArray result;
    for (const QJsonValue &value : nodes) {
        QJsonObject node = value.toObject();
        if (node.value(QStringLiteral("type")).toString() == QLatin1String("bootloader"))
            node.insert(QStringLiteral("type"), QString());
        if (node.contains(QStringLiteral("nodes")))
            node.insert(QStringLiteral("nodes"),
                        asReadBack(node.value(QStringLiteral("nodes")).toArray()));
        result.append(node);
    }
    return result;
}

QJsonObject comparable(const ProjectModel &project)
{
    QJsonObject json = ProjectFile::toJson(&project);
    json.remove(QStringLiteral("time"));
    json.insert(QStringLiteral("nodes"), asReadBack(json.value(QStringLiteral("nodes")).toArray()));
    return json;
}

} // namespace

namespace FuzzProjects {

bool sameProject(const ProjectModel &a, const ProjectModel &b)
{
    return comparable(a) == comparable(b);
}

} // namespace FuzzProjects
