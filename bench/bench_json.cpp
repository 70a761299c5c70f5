// Memory and time of parsing status answers whose keys repeat with array values, the way
// a misbehaving device answers once a second: Qt's own JSON parser against the parser
// that the project files and the status acceptance use (JsonParser). Each parser runs
// in a process of its own, so that the peak resident memory printed is its own.
//
//   bench_json [ANSWERS]   small answers to parse (default 1000000; the large answer
//                          is parsed ANSWERS / 500 times)

#include "project/jsonparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTextStream>

#include <malloc.h>

namespace {

// A status answer as a device sends it, "errors" given twice.
QByteArray smallAnswer()
{
    return R"({"device":"horn","serial":1001,"errors":["tamper"],"errors":[]})";
}

// Some 110 KB of the same: many keys, each given twice with an array value.
QByteArray largeAnswer()
{
    QByteArray text = R"({"device":"horn","serial":1001)";
    for (int i = 0; text.size() < 110 * 1024; ++i) {
        const QByteArray key = "\"k" + QByteArray::number(i) + "\":";
        text += "," + key + R"(["tamper","accum error"],)" + key + "[]";
    }
    return text + "}";
}

qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

// One parser on one answer, `count` times; prints "heap-growth peak-rss-kib ns-per-answer".
int runPhase(const QString &parser, const QString &answer, qint64 count)
{
    const QByteArray text = answer == QLatin1String("large") ? largeAnswer() : smallAnswer();
    const bool qt = parser == QLatin1String("qt");
    qint64 keys = 0;
    auto parse = [&] {
        if (qt) {
            keys += QJsonDocument::fromJson(text).object().size();
        } else {
            QJsonObject object;
            JsonParser::parseObject(text, &object);
            keys += object.size();
        }
    };
    parse();
    const qint64 before = heapInUse();
    QElapsedTimer clock;
    clock.start();
    for (qint64 i = 0; i < count; ++i)
        parse();
    const qint64 elapsed = clock.nsecsElapsed();
    QTextStream(stdout) << heapInUse() - before << ' ' << peakRssKiB() << ' '
                        << elapsed / qMax<qint64>(count, 1) << ' ' << text.size() << ' '
                        << keys / (count + 1) << '\n';
    return 0;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--phase"))
        return runPhase(args.value(2), args.value(3), args.value(4).toLongLong());

    const qint64 answers = args.size() > 1 ? args.at(1).toLongLong() : 1000000;
    QTextStream out(stdout);
    out << "Parsing status answers whose keys repeat with array values\n\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
               .arg("answer", -18)
               .arg("parser", -8)
               .arg("answers", 9)
               .arg("heap growth", 13)
               .arg("per answer", 11)
               .arg("peak RSS", 10)
               .arg("time/answer", 12);
    for (const char *answer : {"small", "large"}) {
        const qint64 count =
            qstrcmp(answer, "small") == 0 ? answers : qMax<qint64>(answers / 500, 1);
        for (const char *parser : {"qt", "project"}) {
            QProcess phase;
            phase.start(app.applicationFilePath(),
                        {"--phase", parser, answer, QString::number(count)});
            if (!phase.waitForFinished(-1) || phase.exitCode() != 0) {
                out << "phase " << parser << ' ' << answer << " failed\n";
                return 1;
            }
            const QList<QByteArray> f = phase.readAllStandardOutput().trimmed().split(' ');
            const qint64 growth = f.value(0).toLongLong();
            const QString label =
                QStringLiteral("%1 (%2 B)").arg(answer).arg(f.value(3).constData());
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                       .arg(label, -18)
                       .arg(qstrcmp(parser, "qt") == 0 ? "Qt" : "project", -8)
                       .arg(count, 9)
                       .arg(megabytes(growth), 13)
                       .arg(QString::number(double(growth) / double(count), 'f', 1) + " B", 11)
                       .arg(megabytes(f.value(1).toLongLong() * 1024), 10)
                       .arg(QString::number(f.value(2).toDouble() / 1000.0, 'f', 2) + " µs", 12);
            out.flush();
        }
    }
    return 0;
}
