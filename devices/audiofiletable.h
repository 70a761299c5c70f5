#pragma once

#include "link/devicepaths.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class AssignmentConfig;
class QComboBox;
class QTableWidget;

// The audio file table of the audio device windows ("tableAudioFiles"): one row per entry
// of the device's audio folder with its display path, its size and, for a file, the signal
// it is assigned to ("Не назначено", "Сигнал 1", "Сигнал 2", or the signals a central
// unit names). A signal is held by one row at most: choosing it in a row takes it from any
// other.
class AudioFileTable : public QObject {
    Q_OBJECT

public:
    enum Signal { None = 0, Signal1 = 1, Signal2 = 2 };

    // Sets up the table's columns and selection; the table stays the form's.
    explicit AudioFileTable(QTableWidget *table, QObject *parent = nullptr);

    // The items of the assignment boxes after "Не назначено": signal 1, 2, ... in order
    // ("Сигнал 1", "Сигнал 2" unless set). Takes effect with the next rows.
    void setSignalNames(const QStringList &names);
    int signalCount() const { return m_signalNames.size(); }

    void clear();
    void setRows(const QVector<DevicePaths::Row> &rows);
    int rowCount() const { return m_rows.size(); }
    // Rows of files (not folders).
    int fileCount() const;
    const DevicePaths::Row &row(int index) const { return m_rows.at(index); }
    // The device path of the selected row; empty when none is selected.
    QString selectedDevicePath() const;
    // The combo box of a row; null for a folder's row.
    QComboBox *assignmentBox(int row) const;

    // Shows the assignments of a downloaded configuration: every file row back to
    // "Не назначено", then the row whose device path is "file_1" gets signal 1 and the one
    // whose device path is "file_2" signal 2. Announces nothing.
    void showAssignments(const AssignmentConfig &config);
    // The device path of the row assigned to a signal; empty when none is.
    QString assignedPath(int signal) const;

signals:
    // The user changed an assignment (after the uniqueness rule was applied).
    void assignmentEdited(int row);
    void selectionChanged(bool rowSelected);

private:
    void onBoxChanged(QComboBox *box);
    void setSignal(QComboBox *box, int signal);

    QTableWidget *m_table;
    QVector<DevicePaths::Row> m_rows;
    QStringList m_signalNames;
    // Set while the table itself changes the combo boxes: no change is the user's then.
    bool m_filling = false;
};
