#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>

class InOut;
class ProjectDevice;
class ProjectGroup;
class ProjectModel;

// Reading and writing the project file ("*.mpj"): one indented UTF-8 JSON document.
class ProjectFile {
public:
    // Files larger than this are not projects; they are refused as unusable.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;

    // 0 on success, -1 when the file cannot be opened, -2 when its content is unusable:
    // not a JSON object, groups nested deeper than ProjectModel::maxGroupDepth, a device
    // with more than ProjectDevice::maxKeysCount buttons, or no identifier left for the
    // nodes that have none. On failure the model is left as it was and `error`, when
    // given, says why in one line.
    static int read(ProjectModel *model, const QString &path, QString *error = nullptr);
    // 0 on success, -1 when the file cannot be opened for writing, -2 when it could not
    // be written completely. The file is replaced atomically where its folder allows a
    // new file; where it does not (a writable file in a folder the user cannot write) it
    // is written in place. Either way it keeps its permissions.
    // `accept`, when given, sees the content before it replaces the file: false keeps the
    // file as it was and gives -3.
    static int write(ProjectModel *model, const QString &path,
                     const std::function<bool(const QByteArray &content)> &accept = {});

    static QJsonObject toJson(const ProjectModel *model);
    static QJsonObject groupToJson(const ProjectGroup *group);
    static QJsonObject deviceToJson(const ProjectDevice *device);
    static QJsonObject inOutToJson(const InOut *io);

    static ProjectDevice *deviceFromJson(const QJsonObject &object, QObject *parent);
    // The same with `now` as the device's last contact.
    static ProjectDevice *deviceFromJson(const QJsonObject &object, QObject *parent,
                                         const QDateTime &now);

private:
    static QJsonArray nodesToJson(const QList<QObject *> &nodes);
    // Builds the nodes of `array` (groups at `depth`) under `parent`; false, with the
    // reason, at the first node that makes the file unusable.
    static bool nodesFromJson(const QJsonArray &array, QObject *parent, int depth,
                              const QDateTime &now, QList<QObject *> *nodes, QString *error);
};
