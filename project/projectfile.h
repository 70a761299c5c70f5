#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class InOut;
class ProjectDevice;
class ProjectGroup;
class ProjectModel;

// Reading and writing the project file ("*.mpj"): one indented UTF-8 JSON document.
class ProjectFile {
public:
    // Files larger than this are not projects; they are refused as unusable.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;
    // Groups nested deeper than this are refused as unusable.
    static constexpr int maxGroupDepth = 64;

    // 0 on success, -1 when the file cannot be opened, -2 when its content is unusable.
    // On failure the model is left as it was.
    static int read(ProjectModel *model, const QString &path);
    // 0 on success, -1 when the file cannot be opened for writing, -2 when it could not
    // be written completely. The previous file stays intact unless the new one is whole.
    static int write(ProjectModel *model, const QString &path);

    static QJsonObject toJson(const ProjectModel *model);
    static QJsonObject groupToJson(const ProjectGroup *group);
    static QJsonObject deviceToJson(const ProjectDevice *device);
    static QJsonObject inOutToJson(const InOut *io);

    static ProjectGroup *groupFromJson(const QJsonObject &object, QObject *parent);
    static ProjectDevice *deviceFromJson(const QJsonObject &object, QObject *parent);

private:
    static QJsonArray nodesToJson(const QList<QObject *> &nodes);
    static QList<QObject *> nodesFromJson(const QJsonArray &array, QObject *parent);
    static int groupDepth(const QJsonArray &array, int depth);
};
