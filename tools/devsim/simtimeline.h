#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class SimDevice;
class SimStatusServer;
class Simulator;

// A script of changes to simulated devices, one per line:
//
//   # comment
//   at 20 s device 3 line 2 open           line ЛО2: normal | short | open | tolerance
//   at 21 s device 3 line-value 2 23500    millivolts ЛО2 measures while normal
//   at 25 s device 3 fault tamper on       amplifier | battery | mains | tamper: on | off
//   at 30 s device 1 mode 3                operating mode (decimal or 0x..)
//   at 30 s device 1 byte3 0x05            byte 3 of the binary state
//   at 31 s device 1 console 4 faulty      console 1..32: faulty | ok
//   at 31 s device 1 extension 2 faulty    extension unit 1..9: faulty | ok
//   at 32 s device 2 key horn              type key the device reports
//   at 33 s device 2 version 2.1           firmware version it reports
//   at 40 s device 2 http silent           normal | silent | 404 | empty | not-json |
//                                          not-object | oversized | slow | endless
//   at 45 s all http normal                every device
//   at 50 s device 2 storage 3             storage status in the answer to GET STATUS,
//                                          size and free space those of its files
//   at 51 s device 2 storage 2 1000 250    status, size and free space in bytes
//   at 52 s device 2 status-answer horn 5,9.9   the answer to GET STATUS as written (words
//                                          joined by one blank); ERROR... is a refusal
//   at 53 s device 2 status-answer normal  the answer built from the state again
//
// "device N" is the N-th device of the simulator (from 1), "serial S" the device with
// that serial number. Times count from start() and may have a fraction ("at 1.5 s").
class SimTimeline : public QObject {
    Q_OBJECT

public:
    SimTimeline(Simulator *simulator, SimStatusServer *server, QObject *parent = nullptr);

    // Reads a script; false with "line N: reason" when a line is wrong. Nothing of a wrong
    // script is kept.
    bool load(const QString &path, QString *error = nullptr);
    bool parse(const QString &text, QString *error = nullptr);
    int stepCount() const { return m_steps.size(); }

    // Runs the script from now.
    void start();
    // Applies one step without a time ("device 3 line 2 open"). False when it is wrong.
    bool apply(const QString &step, QString *error = nullptr);

signals:
    // A step was applied; `text` is its line as written.
    void stepApplied(const QString &text);
    void finished();

private:
    struct Step {
        qint64 atMs = 0;
        QList<SimDevice *> devices;
        QString action;
        QStringList args;
        QString text;
    };

    bool parseStep(const QStringList &words, Step *step, QString *error) const;
    bool checkAction(const Step &step, QString *error) const;
    void run(const Step &step);
    void next();

    Simulator *m_simulator;
    SimStatusServer *m_server;
    QList<Step> m_steps;
    int m_next = 0;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
