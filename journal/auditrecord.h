#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

// One record of the audit trail: who changed what on which device, when, and the links of
// the hash chain that make a changed, removed or inserted record show.
//
// The hash is SHA-256 over the canonical form: the fields below in this fixed order, each
// as a netstring (its UTF-8 length in decimal, ':', the UTF-8 bytes, ','):
//   "1" (the form's version), sequence (decimal), time, user, host, device, action,
//   details, prev_hash
// with the time in UTC as "yyyy-MM-ddTHH:mm:ss.zzzZ" and the details as the compact JSON
// text stored (keys sorted). The hash is stored as 64 lower-case hex digits; the first
// record's prev_hash is empty. Everything hashed is stored as text, so the same trail
// verifies on SQLite, on PostgreSQL and after a copy between them.
struct AuditRecord {
    // What a record says was done (the `action` column).
    static const char *const descriptorWrite; // "descriptor-write"
    static const char *const descriptorWriteFailed; // "descriptor-write-failed"
    static const char *const fileUpload; // "file-upload"
    static const char *const fileDelete; // "file-delete"
    static const char *const firmwareUpdate; // "firmware-update"
    static const char *const projectUpload; // "project-upload"
    static const char *const backup; // "backup"
    static const char *const restore; // "restore"
    static const char *const projectSave; // "project-save"
    static const char *const acknowledge; // "acknowledge"
    static const char *const login; // "login"
    static const char *const loginFailed; // "login-failed"
    static const char *const userChange; // "user-change"

    qint64 sequence = 0;
    QString time; // UTC, timeFormat
    QString user;
    QString host;
    QString device;
    QString action;
    QString details; // compact JSON, keys sorted
    QString prevHash;
    QString hash;

    // The stored form of a time: "2026-12-08T08:30:45.123Z".
    static QString timeText(const QDateTime &time);
    static QDateTime parseTime(const QString &text);
    // Compact JSON with keys sorted (QJsonObject keeps them so).
    static QString detailsText(const QJsonObject &details);
    QJsonObject detailsObject() const;

    QByteArray canonical() const;
    // Hex SHA-256 of canonical().
    QString computeHash() const;
    bool operator==(const AuditRecord &other) const;
};
