#include "project/projectfile.h"

#include "project/inout.h"
#include "project/jsonparser.h"
#include "project/jsonread.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

bool isNodeType(const QJsonValue &value, const char *type)
{
    return value.toObject().value(QLatin1String("nodetype")).toString() == QLatin1String(type);
}

InOut *inOutFromJson(const QJsonObject &object, int &counter, QObject *parent)
{
    int index = JsonRead::integer(object, "index", -1);
    if (index < 0)
        index = ++counter;
    auto *io = new InOut(JsonRead::integer(object, "type", -1),
                         JsonRead::string(object, "description"), index, parent);
    io->name = JsonRead::string(object, "name");
    io->id_obj = JsonRead::integer(object, "id_obj", 0);
    const QJsonArray links = JsonRead::array(object, "outlinks");
    for (const QJsonValue &linkValue : links) {
        const QJsonObject linkObject = linkValue.toObject();
        OutLink link;
        link.id_obj = JsonRead::integer(linkObject, "id_obj", 0);
        const QJsonArray indexes = JsonRead::array(linkObject, "indexes");
        for (const QJsonValue &value : indexes)
            link.indexes.append(JsonRead::integer(value, 0));
        io->outlinks.append(link);
    }
    return io;
}

} // namespace

int ProjectFile::read(ProjectModel *model, const QString &path, QString *error)
{
    auto unusable = [error](const QString &reason) {
        if (error)
            *error = reason;
        return -2;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return -1;
    }
    if (file.size() > maxFileSize)
        return unusable(QStringLiteral("larger than %1 bytes").arg(maxFileSize));
    // A file whose size is known is read with a buffer of that size (and a byte more, for a
    // file that grew meanwhile), not one of the largest size allowed.
    const qint64 wanted = file.isSequential() ? maxFileSize : qMin(file.size(), maxFileSize);
    const QByteArray content = file.read(wanted + 1);
    file.close();
    if (content.size() > maxFileSize)
        return unusable(QStringLiteral("larger than %1 bytes").arg(maxFileSize));

    QJsonObject root;
    QString reason;
    if (!JsonParser::parseObject(content, &root, &reason))
        return unusable(reason);

    // The new tree is built aside and takes the place of the open one only when the whole
    // file has proved usable.
    QObject holder;
    QList<QObject *> topNodes;
    const QDateTime now = QDateTime::currentDateTime();
    if (!nodesFromJson(JsonRead::array(root, "nodes"), &holder, 1, now, &topNodes, &reason))
        return unusable(reason);
    int lastId = JsonRead::integer(root, "id_obj", -1);
    if (!ProjectModel::assignMissingIds(topNodes, &lastId))
        return unusable(QStringLiteral("no object identifier left for the groups and devices "
                                       "without one"));

    model->clear();
    model->lastId = lastId;
    model->name = JsonRead::string(root, "name");
    for (QObject *node : qAsConst(topNodes))
        node->setParent(model);
    model->nodes = topNodes;

    model->scenarios.clear();
    const QJsonArray scenarios = JsonRead::array(root, "scenarios");
    for (const QJsonValue &value : scenarios)
        model->scenarios.append(Scenario::fromJson(value.toObject()));

    model->path = path;
    model->modified = false;
    emit model->nodeChanged(model);
    return 0;
}

int ProjectFile::write(ProjectModel *model, const QString &path,
                       const std::function<bool(const QByteArray &content)> &accept)
{
    QSaveFile file(path);
    // In a folder where no new file can be made the file itself is rewritten.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    const QByteArray content = QJsonDocument(toJson(model)).toJson(QJsonDocument::Indented);
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        file.commit();
        return -2;
    }
    if (accept && !accept(content)) {
        file.cancelWriting();
        file.commit();
        return -3;
    }
    return file.commit() ? 0 : -2;
}

QJsonObject ProjectFile::toJson(const ProjectModel *model)
{
    QJsonArray scenarios;
    for (const Scenario &scenario : model->scenarios)
        scenarios.append(scenario.toJson());

    QJsonObject root;
    root.insert(QStringLiteral("name"), model->name);
    root.insert(QStringLiteral("id_obj"), model->lastId);
    root.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::TextDate));
    root.insert(QStringLiteral("nodes"), nodesToJson(model->nodes));
    root.insert(QStringLiteral("scenarios"), scenarios);
    return root;
}

QJsonArray ProjectFile::nodesToJson(const QList<QObject *> &nodes)
{
    QJsonArray array;
    for (const QObject *node : nodes) {
        if (const auto *group = qobject_cast<const ProjectGroup *>(node))
            array.append(groupToJson(group));
        else if (const auto *device = qobject_cast<const ProjectDevice *>(node))
            array.append(deviceToJson(device));
    }
    return array;
}

QJsonObject ProjectFile::groupToJson(const ProjectGroup *group)
{
    QJsonObject object;
    object.insert(QStringLiteral("nodetype"), QStringLiteral("group"));
    object.insert(QStringLiteral("name"), group->name);
    object.insert(QStringLiteral("id_obj"), group->id_obj);
    object.insert(QStringLiteral("nodes"), nodesToJson(group->nodes));
    return object;
}

QJsonObject ProjectFile::deviceToJson(const ProjectDevice *device)
{
    QJsonArray inouts;
    for (const InOut *io : device->inouts)
        inouts.append(inOutToJson(io));

    QJsonObject object;
    object.insert(QStringLiteral("nodetype"), QStringLiteral("device"));
    object.insert(QStringLiteral("id_obj"), device->id_obj);
    object.insert(QStringLiteral("type"), deviceTypeKey(device->type));
    object.insert(QStringLiteral("serial"), qint64(device->serial));
    object.insert(QStringLiteral("tag"), device->tag);
    object.insert(QStringLiteral("rs485_enabled"), device->rs485_enabled);
    object.insert(QStringLiteral("rs485_addr"), int(device->rs485_addr));
    object.insert(QStringLiteral("ip_enabled"), device->ip_enabled);
    object.insert(QStringLiteral("ip_addr"), device->ip_addr);
    object.insert(QStringLiteral("keys_count"), device->keys_count);
    object.insert(QStringLiteral("inouts"), inouts);
    return object;
}

QJsonObject ProjectFile::inOutToJson(const InOut *io)
{
    QJsonObject object;
    object.insert(QStringLiteral("type"), io->type);
    object.insert(QStringLiteral("name"), io->name);
    object.insert(QStringLiteral("description"), io->description);
    object.insert(QStringLiteral("index"), io->index);
    object.insert(QStringLiteral("id_obj"), io->id_obj);
    if (!io->outlinks.isEmpty()) {
        QJsonArray links;
        for (const OutLink &link : io->outlinks) {
            QJsonArray indexes;
            for (int index : link.indexes)
                indexes.append(index);
            QJsonObject linkObject;
            linkObject.insert(QStringLiteral("id_obj"), link.id_obj);
            linkObject.insert(QStringLiteral("indexes"), indexes);
            links.append(linkObject);
        }
        object.insert(QStringLiteral("outlinks"), links);
    }
    return object;
}

bool ProjectFile::nodesFromJson(const QJsonArray &array, QObject *parent, int depth,
                                const QDateTime &now, QList<QObject *> *nodes, QString *error)
{
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        if (isNodeType(value, "group")) {
            if (depth > ProjectModel::maxGroupDepth) {
                *error = QStringLiteral("groups nested deeper than %1 levels")
                             .arg(ProjectModel::maxGroupDepth);
                return false;
            }
            auto *group = new ProjectGroup(JsonRead::string(object, "name"), parent);
            group->id_obj = JsonRead::integer(object, "id_obj", -1);
            nodes->append(group);
            if (!nodesFromJson(JsonRead::array(object, "nodes"), group, depth + 1, now,
                               &group->nodes, error))
                return false;
        } else if (isNodeType(value, "device")) {
            // A count no console has would make the template ask for any amount of memory.
            const QJsonValue keys = object.value(QLatin1String("keys_count"));
            if (keys.isDouble() && keys.toDouble() > ProjectDevice::maxKeysCount) {
                *error = QStringLiteral("a device has keys_count %1, more than the %2 buttons "
                                        "of any console")
                             .arg(keys.toVariant().toString())
                             .arg(ProjectDevice::maxKeysCount);
                return false;
            }
            nodes->append(deviceFromJson(object, parent, now));
        }
    }
    return true;
}

ProjectDevice *ProjectFile::deviceFromJson(const QJsonObject &object, QObject *parent)
{
    return deviceFromJson(object, parent, QDateTime::currentDateTime());
}

ProjectDevice *ProjectFile::deviceFromJson(const QJsonObject &object, QObject *parent,
                                           const QDateTime &now)
{
    auto *device = new ProjectDevice(DeviceType::Unknown, now, parent);
    if (JsonRead::string(object, "nodetype") != QLatin1String("device"))
        return device;

    device->type = deviceTypeFromKey(JsonRead::string(object, "type"));
    device->id_obj = JsonRead::integer(object, "id_obj", -1);
    device->serial = JsonRead::uint32(object, "serial", 0);
    device->tag = JsonRead::string(object, "tag");
    device->rs485_enabled = JsonRead::boolean(object, "rs485_enabled", false);
    device->rs485_addr = uint8_t(JsonRead::integer(object, "rs485_addr", 0) & 0xFF);
    device->ip_enabled = JsonRead::boolean(object, "ip_enabled", false);
    device->ip_addr = JsonRead::string(object, "ip_addr");
    device->keys_count = JsonRead::integer(object, "keys_count", -1);

    const QJsonArray inouts = JsonRead::array(object, "inouts");
    if (!inouts.isEmpty()) {
        QList<InOut *> list;
        int counter = 0;
        for (const QJsonValue &value : inouts)
            list.append(inOutFromJson(value.toObject(), counter, device));
        device->setInOuts(list);
    } else {
        device->fillTemplate();
    }
    return device;
}
