#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What the audit trail says of a project save: the file, the SHA-256 of its content before
// (empty for a new file) and after, and the devices added and removed ("type №serial").
class ProjectSaveAudit {
public:
    // The file's content now; empty when it is missing, not a file or too large.
    static QByteArray currentContent(const QString &path);
    static QJsonObject details(const QString &path, const QByteArray &before,
                               const QByteArray &after);
};
