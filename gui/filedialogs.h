#pragma once

#include <QString>

class QWidget;

// File choosers of every window: the same (non-native) dialog on every platform, so that
// tests can drive it. Each returns the chosen path, or an empty text when cancelled. The
// dialog's object name lets a test find it.
class FileDialogs {
public:
    static QString openFile(QWidget *parent, const QString &objectName, const QString &title,
                            const QString &folder, const QString &filter);
    static QString saveFile(QWidget *parent, const QString &objectName, const QString &title,
                            const QString &proposal, const QString &filter);
};
