#pragma once

// `norda-devsim` and `norda-cli monitor` started for a benchmark run. Both write into files
// of the run's folder (the simulator into devsim.log, the monitor its event lines into
// events.txt and the rest into monitor.txt), so neither ever waits on a full pipe. The
// simulator runs on Qt's own event dispatcher: GLib's costs it a core of its own with
// thousands of sockets. NORDA_BINARY_DIR names another build's programs (a long run while
// this tree is rebuilt).

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

namespace {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MonitorRun {
public:
    explicit MonitorRun(const QString &folder)
        : m_dir(folder)
    {
    }
    ~MonitorRun() { stopSimulator(); }

    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Starts the simulator for `project` on the status port with the further arguments,
    // waits until it listens on every port, then starts the monitor for `seconds` with
    // its statistics. False with error() when either did not start.
    bool start(const QString &project, const QString &port, int seconds,
               const QStringList &simulatorArguments = {}, const QStringList &monitorArguments = {})
    {
        const QString bin =
            qEnvironmentVariable("NORDA_BINARY_DIR", QStringLiteral(NORDA_BINARY_DIR));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_NO_GLIB"), QStringLiteral("1"));
        simulator.setProcessEnvironment(environment);
        simulator.setProcessChannelMode(QProcess::MergedChannels);
        simulator.setStandardOutputFile(file("devsim.log"));
        simulator.start(bin + "/tools/devsim/norda-devsim",
                        QStringList {"--project", project, "--status-port", port} +
                            simulatorArguments);
        QElapsedTimer clock;
        clock.start();
        // The simulator has no other way to say it is ready than its line in the file.
        while (!readAll(file("devsim.log")).contains("status on port")) {
            if (clock.elapsed() > 60000 || simulator.state() == QProcess::NotRunning) {
                m_error = "norda-devsim did not start: " +
                    QString::fromUtf8(readAll(file("devsim.log")).right(2000));
                stopSimulator();
                return false;
            }
            QThread::msleep(100);
        }
        monitor.setWorkingDirectory(m_dir.path());
        monitor.setStandardOutputFile(file("events.txt"));
        monitor.setStandardErrorFile(file("monitor.txt"));
        monitor.start(bin + "/tools/cli/norda-cli",
                      QStringList {"monitor", project, "--status-port", port, "--seconds",
                                   QString::number(seconds), "--stats"} +
                          monitorArguments);
        if (!monitor.waitForStarted()) {
            m_error = QStringLiteral("norda-cli did not start");
            stopSimulator();
            return false;
        }
        return true;
    }

    void stopSimulator()
    {
        if (simulator.state() == QProcess::NotRunning)
            return;
        simulator.kill();
        simulator.waitForFinished();
    }

    QString error() const { return m_error; }

    QProcess simulator;
    QProcess monitor;

private:
    QDir m_dir;
    QString m_error;
};

} // namespace
