#pragma once

#include "devices/descriptorwrites.h"
#include "devices/fieldvalues.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class Amodule;
class FrameLo;
class ProjectDevice;
class ProjectModel;
class QWidget;
class TovikStatus;

// The "Линии оповещения" tab of the central unit window: the eight line frames, their
// answers, writes and calibration, the measured values polled from the unit, and the
// acceptance record of each line kept in the project's parameter database with its verdict.
//
// The verdict compares what the unit holds with the record; it is given only once all
// four values of the line (control, norm, tolerance, calibration time) were read on this
// connection, so a partly read line is never reported as differing. The record of a line is
// read from the database once, when first needed, and kept until it is saved again.
class TovikLinesTab : public QObject {
    Q_OBJECT

public:
    // What the tab asks of its window.
    struct Host {
        // Whether the unit is connected and identified.
        std::function<bool()> linked;
        // Reads descriptors (one or a list).
        std::function<void(const QStringList &)> read;
        // Sends a write list with one result message; `success` is its text, `after` runs
        // when the list has ended.
        std::function<void(const QList<DescriptorWrites::Write> &, const QString &success,
                           const std::function<void()> &after)>
            write;
        std::function<void(const QString &)> error;
        std::function<void(const QString &title, const QString &text)> information;
    };

    static constexpr int lineCount = 8;
    // Seconds from a calibration to the automatic re-read of the lines.
    static constexpr int calibrationReadDelay = 3;
    // The measured values of a tab that is not shown are read every this many ticks.
    static constexpr int hiddenTabPollTicks = 5;

    static const QString notAccepted;
    static const QString accepted;
    static const QString differs;
    static const QString notInDatabase;
    static const QString notReadYet;

    // `form` holds "scrollAreaLo" and the three buttons of all lines. The frames go in one
    // column: a line beside its acceptance record is as wide as a laptop screen allows.
    TovikLinesTab(QWidget *form, Amodule *facade, ProjectDevice *device, ProjectModel *model,
                  const Host &host, QObject *parent = nullptr);

    FrameLo *frame(int line) const { return lines.value(line).frame; }
    // Seconds until the automatic re-read; 0 when none is due.
    int countdown() const { return readCountdown; }

    // The 1 s tick: the re-read countdown, and the measured values (every tick while the
    // tab is shown, every fifth otherwise; one request outstanding, none during a list
    // read).
    void tick(bool shown);
    void linkLost();
    // A descriptor answer; false when it is none of this tab's.
    bool showDescriptor(const QString &name, int index, const QString &value, bool failed);
    // The answer to "LO_CURRENT_VALUES".
    void showCurrentValues(const QString &value, bool failed);
    // The line states of a status answer (field 12).
    void showStatus(const TovikStatus &status);

    static QStringList readAllNames();

    void on_pushButtonReadAllLo_clicked();
    void on_pushButtonWriteAllLo_clicked();
    void on_pushButtonCalibAllLo_clicked();
    void on_pushButtonWriteLoParam_clicked(int line);
    void on_pushButtonWriteLoCalib_clicked(int line);
    void on_pushButtonCopyLoParams_clicked(int line);
    void on_pushButtonSaveLoParams_clicked(int line);

private:
    enum ReadBit { EnableRead = 1, ValueRead = 2, DeltaRead = 4, TimeRead = 8, AllRead = 15 };
    struct Record {
        bool loaded = false;
        bool complete = false;
        QString control, norm, tolerance, time;
    };
    struct Line {
        FrameLo *frame = nullptr;
        bool edited = false;
        int read = 0;
        Record record;
    };

    void refreshVerdict(int line);
    void loadRecord(int line);
    // The settings of a line that "Записать" sends, with their labels.
    QList<FieldValues::Field> lineFields(int line) const;
    // Whether the settings of these lines all hold a value; otherwise one message names
    // those that do not.
    bool complete(const QList<int> &which);
    void lineWrites(int line, QList<DescriptorWrites::Write> *writes) const;
    void calibrate(const QList<int> &lines);
    static QString recordName(const char *name, int line);

    QList<Line> lines;
    Amodule *amodule;
    ProjectDevice *device;
    ProjectModel *model;
    Host host;
    int readCountdown = 0;
    int pollCounter = 0;
    bool valuesOutstanding = false;
};
