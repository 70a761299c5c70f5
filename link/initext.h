#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The text of an INI file in Windows-1251, read and changed in memory the way QSettings
// reads and writes it, so that files the old program wrote through QSettings read the same
// here, and files written here read the same through QSettings.
//
// Reading follows QSettings: "[group]" lines open a group (repeated groups merge, the last
// value of a key counts), a line that begins with ";" is a comment and an unquoted ";"
// ends a value, a value's unquoted blanks at either end are dropped, double quotes group
// text and are removed, and backslash escapes ("\\", "\"", "\x41", ...) are decoded. One
// difference: an unquoted comma is part of the value (QSettings would read a list of
// strings); QSettings itself quotes every value with a comma.
//
// Changes touch only the lines of the key that changes: every other line, comment, blank
// line, order and line end stays byte for byte. (In a file with lone CR line ends, a blank
// line beside a removed line can go: the CR before and the LF after then read as one CRLF.) Values
// are written as QSettings writes a string: backslashes and double quotes escaped, the whole value
// in double quotes when it holds ";", "," or "=" or begins or ends with a blank.
class IniText {
public:
    explicit IniText(const QByteArray &bytes = QByteArray());

    QByteArray bytes() const { return text; }

    // The value of `key` in `group`; a null string when the key is not there.
    QString value(const QString &group, const QString &key) const;

    // Sets `key` of `group`: the first line of the key takes the new value and its other
    // lines go; a key not there yet goes after the last line of the group; a group not there
    // yet is added at the end. False, changing nothing, with the reason in `error` when the
    // value cannot be written as it is: a character that Windows-1251 cannot carry or a
    // control character.
    bool setValue(const QString &group, const QString &key, const QString &value,
                  QString *error = nullptr);
    // Removes every line of `key` in `group`.
    void remove(const QString &group, const QString &key);

    // `value` as QSettings writes a string into an INI file in Windows-1251; false when it
    // cannot be written so that it reads back the same.
    static bool escapedValue(const QString &value, QByteArray *bytes, QString *error = nullptr);

private:
    struct Line;
    QVector<Line> lines() const;
    QByteArray lineEnd() const;
    int physicalStart(int position) const;
    int physicalEnd(int position) const;

    QByteArray text;
};
