#pragma once

// Small helpers that many test programs share: tables of rows, files, a working folder of
// their own, running the built command-line tools, the sqlite3 tool, free ports, spies on
// every signal of an object, and the codes a journal holds for one device.

#include "journal/databaselog.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMetaMethod>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace TestUtil {

// A data-driven test's rows as an array of structs (declared with Q_DECLARE_METATYPE): one
// column "row", each row named by its `name` member, once after each prefix (the test finds
// its prefix in QTest::currentDataTag()). The test reads its row with QFETCH(RowType, row).
template<typename Row, std::size_t N>
void addRows(const Row (&rows)[N], std::initializer_list<const char *> prefixes = {""})
{
    QTest::addColumn<Row>("row");
    for (const char *prefix : prefixes) {
        for (const Row &row : rows)
            QTest::addRow("%s%s", prefix, row.name) << row;
    }
}

inline QString testData(const char *name)
{
    return QStringLiteral(NORDA_TEST_DATA "/") + QLatin1String(name);
}

inline QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(bytes) == bytes.size();
}

// A firmware file: the magic, a word, the load address and the length (big-endian; by
// default the payload's), then the payload.
inline QByteArray firmwareFile(quint32 address, const QByteArray &payload, qint64 length = -1,
                               const QByteArray &magic = "nord")
{
    QByteArray file = magic + QByteArray("\x01\x02\x03\x04", 4);
    for (quint32 value : {address, quint32(length < 0 ? payload.size() : length)}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            file.append(char((value >> shift) & 0xFF));
    }
    return file + payload;
}

// A fresh temporary folder that is the current folder while the object lives (the
// journals of a project model are opened in the current folder).
class WorkDir {
public:
    WorkDir() { entered = dir.isValid() && QDir::setCurrent(dir.path()); }
    ~WorkDir() { QDir::setCurrent(previous); }
    bool isValid() const { return entered; }
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

private:
    QString previous = QDir::currentPath();
    QTemporaryDir dir;
    bool entered = false;
};

// A command line that fails: its exit code and what standard error says.
struct CliFailure {
    const char *name;
    QStringList args;
    int code;
    QString message;
};

struct CliRun {
    int code = -1; // -1: did not finish in time, -2: crashed
    QString out;
    QString err;
};

// Runs a built program (norda-cli unless told otherwise) and collects what it printed.
inline CliRun
runCli(const QStringList &args, const QString &folder = QString(),
       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
       int timeoutMs = 60000,
       const QString &program = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli"))
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, args);
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A device of a started norda-devsim on TCP, as its start-up lines name it
// ("tcp KEY:SERIAL ADDRESS:PORT").
struct SimEndpoint {
    QString key;
    QString serial;
    QString address; // "127.0.0.2:2323"
};

// Waits until the norda-devsim process has printed "ready" and returns the TCP devices it
// announced, in its order, and what it printed (its error output when it did not start,
// and then false).
inline bool waitForSimulator(QProcess &simulator, QList<SimEndpoint> *endpoints,
                             QByteArray *printed = nullptr)
{
    QByteArray scratch;
    QByteArray &output = printed ? *printed : scratch;
    if (!simulator.waitForStarted(10000))
        return false;
    while (!output.contains("ready\n")) {
        if (!simulator.waitForReadyRead(10000)) {
            output = simulator.readAllStandardError();
            return false;
        }
        output += simulator.readAllStandardOutput();
    }
    static const QRegularExpression tcpLine(QStringLiteral("^tcp (\\w+):(\\d+) (\\S+)$"),
                                            QRegularExpression::MultilineOption);
    for (auto it = tcpLine.globalMatch(QString::fromUtf8(output)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        endpoints->append({match.captured(1), match.captured(2), match.captured(3)});
    }
    return true;
}

// Runs one statement through the sqlite3 program: another process on the same file.
inline QString sqlite3(const QString &file, const QString &statement)
{
    QProcess process;
    process.start("sqlite3", {file, statement});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("<sqlite3 failed: %1>")
            .arg(QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A TCP port that is free on this loopback address at the moment.
inline quint16 freePort(const char *address)
{
    QTcpServer probe;
    return probe.listen(QHostAddress(QLatin1String(address)), 0) ? probe.serverPort() : 0;
}

// The codes of a device's unacknowledged journal records, oldest first.
inline QList<int> eventCodes(DatabaseLog *log, int deviceId)
{
    QList<int> codes;
    const QVector<EventRecord> events = log->events(0, 1000, false);
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        if (it->deviceId == deviceId)
            codes << it->code;
    }
    return codes;
}

// One spy on every signal that an object's class declares, by signal name. Signals of base
// classes count from `from` on (by default only the object's own class).
class SignalSpies {
public:
    explicit SignalSpies(QObject *object, const QMetaObject *from = nullptr)
    {
        const QMetaObject *meta = object->metaObject();
        for (int i = (from ? from : meta)->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal) {
                const QByteArray signature = "2" + method.methodSignature();
                spies[QString::fromLatin1(method.name())] =
                    std::make_unique<QSignalSpy>(object, signature.constData());
            }
        }
    }
    QSignalSpy &operator[](const char *name) const { return *spies.at(QString::fromLatin1(name)); }
    void clear()
    {
        for (auto &entry : spies)
            entry.second->clear();
    }
    // The names of the signals emitted so far, each as often as it was emitted.
    QStringList emitted() const
    {
        QStringList names;
        for (const auto &entry : spies) {
            for (int i = 0; i < entry.second->count(); ++i)
                names << entry.first;
        }
        return names;
    }
    // Waits until one of the named signals has come.
    bool waitAny(std::initializer_list<const char *> names, int ms = 30000) const
    {
        return QTest::qWaitFor(
            [&] {
                for (const char *name : names) {
                    if ((*this)[name].count())
                        return true;
                }
                return false;
            },
            ms);
    }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> spies;
};

} // namespace TestUtil

Q_DECLARE_METATYPE(TestUtil::CliFailure)
