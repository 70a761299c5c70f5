#include "tools/devsim/simcommanddevice.h"

#include "project/devicetype.h"
#include "tools/devsim/simdescriptors.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simparameters.h"
#include "tools/devsim/simrequestlog.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

const QByteArray ok = "OK\r\n";
const QByteArray error = "ERROR\r\n";

QByteArray wire(const QString &text)
{
    static QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    return codec->fromUnicode(text);
}

QByteArray value(const QString &text)
{
    return wire(text) + "\r\n" + ok;
}

QByteArray okOrError(bool success)
{
    return success ? ok : error;
}

// Strict hexadecimal: pairs of digits and nothing else.
bool decodeHex(const QString &text, QByteArray *bytes)
{
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(text).hasMatch())
        return false;
    *bytes = QByteArray::fromHex(text.toLatin1());
    return true;
}

bool isConsole(int type)
{
    return type == DeviceType::BexarTovik2 || type == DeviceType::BexarBoot;
}

// A NUL byte in the middle of the answer's first line.
void putNul(QByteArray *answer)
{
    int end = answer->indexOf('\n');
    if (end < 0)
        end = answer->size();
    else if (end > 0 && answer->at(end - 1) == '\r')
        --end;
    answer->insert(end / 2, '\0');
}

// The page with the lowest set bit of its first byte that has one cleared.
QByteArray damaged(QByteArray page)
{
    for (char &byte : page) {
        if (byte != 0) {
            byte = char(uchar(byte) & (uchar(byte) - 1));
            break;
        }
    }
    return page;
}

} // namespace

SimCommandDevice::SimCommandDevice(SimDevice *device, quint16 commandPort, QObject *parent)
    : QObject(parent)
    , m_device(device)
    , bootMode(device->type == DeviceType::Bootloader || device->type == DeviceType::BexarBoot)
{
    SimDescriptors::populate(device, commandPort);
    populateFiles();
}

void SimCommandDevice::populateFiles()
{
    const int type = m_device->type;
    if (type == DeviceType::Bootloader || type == DeviceType::BexarBoot)
        return;
    QString group = QStringLiteral("pult_files");
    QString signal = QStringLiteral("file_1");
    if (type == DeviceType::IpPult)
        group = QStringLiteral("audiofiles");
    if (isCentralUnitType(type)) {
        group = QStringLiteral("assign");
        signal = QStringLiteral("siren");
    }
    QByteArray wav("RIFF");
    wav.append(QByteArray(2044, char(0x80)));
    files.store(QStringLiteral("0:\\audio\\siren.wav"), wav);
    files.store(QStringLiteral("0:\\audio\\gong.wav"), wav.left(1024));
    files.makeDir(QStringLiteral("0:\\audio\\custom"));
    files.store(QStringLiteral("0:\\config.ini"),
                "[" + group.toLatin1() + "]\r\n" + signal.toLatin1() +
                    "=0:\\\\audio\\\\siren.wav\r\n");
    if (type == DeviceType::IpPult)
        files.makeDir(QStringLiteral("0:\\keys"));
}

QString SimCommandDevice::bootKey() const
{
    if (isConsole(m_device->type))
        return QStringLiteral("bexar_boot ") + bootVersion;
    return QStringLiteral("boot ") + bootVersion + QLatin1Char(',') + QString::number(flashLayout);
}

QStringList SimCommandDevice::requestLog() const
{
    QMutexLocker lock(&logMutex);
    return log;
}

QList<qint64> SimCommandDevice::requestTimes() const
{
    QMutexLocker lock(&logMutex);
    return logTimes;
}

void SimCommandDevice::clearRequestLog()
{
    QMutexLocker lock(&logMutex);
    log.clear();
    logTimes.clear();
}

QByteArray SimCommandDevice::respond(const QString &line, int *lateMs)
{
    if (lateMs)
        *lateMs = 0;
    // Empty lines (the console sends two before it repeats a bootloader step) are ignored.
    if (line.isEmpty())
        return QByteArray();
    {
        QMutexLocker lock(&logMutex);
        if (log.size() >= maxLoggedRequests) {
            log.removeFirst();
            logTimes.removeFirst();
        }
        log.append(line);
        static const QElapsedTimer clock = [] {
            QElapsedTimer started;
            started.start();
            return started;
        }();
        logTimes.append(clock.elapsed());
    }
    if (logFile)
        logFile->append(m_device, line);
    ++requestCount;
    if (faults.silent)
        return QByteArray();
    const int late = faults.lateBy(line);
    if (lateMs)
        *lateMs = late;

    QByteArray answer;
    bool nul = false;
    const SimFaults::Rule *rule = faults.match(line);
    if (rule && rule->action == SimFaults::Rule::Nul) {
        nul = true;
        rule = nullptr;
    }
    if (rule) {
        if (rule->action == SimFaults::Rule::Silent)
            return QByteArray();
        if (rule->action == SimFaults::Rule::Drop) {
            emit restarting();
            return QByteArray();
        }
        if (rule->action == SimFaults::Rule::Unplug) {
            emit pulledOut();
            return QByteArray();
        }
        answer = rule->action == SimFaults::Rule::Raw ? rule->raw : error;
    } else if (faults.errorEvery > 0 && ++faults.errorCounted % quint64(faults.errorEvery) == 0) {
        answer = error;
    } else {
        answer = bootMode ? answerBootloader(line) : answerApplication(line);
    }
    if (nul)
        putNul(&answer);
    if (faults.flood)
        answer = QByteArray(faults.floodBytes, 'A');
    for (int i = 0; i < faults.garbageLines; ++i)
        answer.prepend(QByteArray("\x01\x7f#%garbage ") + QByteArray::number(i) + "\r\n");
    if (faults.bareLineFeeds)
        answer.replace("\r\n", "\n");
    return answer;
}

QByteArray SimCommandDevice::answerApplication(const QString &line)
{
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString name = line.section(QLatin1Char(' '), 1, 1);
    const QString rest = line.section(QLatin1Char(' '), 2);

    if (verb == QLatin1String("GET")) {
        if (name == QLatin1String("VERSION") && rest.isEmpty())
            return value(m_device->reportedKey + QLatin1Char(' ') + m_device->version);
        if (name == QLatin1String("DESCRIPTOR")) {
            QString text;
            if (!rest.startsWith(QLatin1String("desc_")) || rest.contains(QLatin1Char(' ')) ||
                !SimDescriptors::read(m_device, rest.mid(5), &text))
                return error;
            return value(text);
        }
        if (name == QLatin1String("FILE_LIST")) {
            QStringList lines;
            if (!files.listing(rest, &lines))
                return error;
            QByteArray answer;
            for (const QString &entry : qAsConst(lines))
                answer += wire(entry) + "\r\n";
            return answer + "\r\n" + ok;
        }
        if (name == QLatin1String("FILE_READ")) {
            bool numeric = false;
            const int length = rest.toInt(&numeric);
            QByteArray block;
            if (!numeric || length < 1 || length > 4096 ||
                !files.readBlock(length + faults.longBlock, &block))
                return error;
            block.chop(faults.shortBlock);
            return block.toHex().toUpper() + "\r\n" + ok;
        }
        QString text;
        if (!SimParameters::answer(m_device, files, line.section(QLatin1Char(' '), 1), &text))
            return error;
        // A crafted answer that is a refusal comes without "OK".
        if (text.startsWith(QLatin1String("ERROR")))
            return wire(text) + "\r\n";
        return value(text);
    }

    if (verb == QLatin1String("SET")) {
        if (name == QLatin1String("DESCRIPTOR")) {
            const QString descriptor = rest.section(QLatin1Char(' '), 0, 0);
            const QString text = rest.section(QLatin1Char(' '), 1);
            if (!descriptor.startsWith(QLatin1String("desc_")) || !rest.contains(QLatin1Char(' ')))
                return error;
            if (!SimDescriptors::write(m_device, descriptor.mid(5), text))
                return error;
            // Formatting the flash erases its files.
            if (descriptor == QLatin1String("desc_NorFormatCmd") &&
                text.trimmed() == QLatin1String("1"))
                files.format(QStringLiteral("0:"));
            if (descriptor == QLatin1String("desc_JournalClearCmd") &&
                text.trimmed() == QLatin1String("1"))
                m_device->journal.clear();
            return ok;
        }
        if (name == QLatin1String("BOOT") && rest.isEmpty()) {
            bootMode = true;
            emit restarting();
            return ok;
        }
        if (name.startsWith(QLatin1String("FILE_")) || name == QLatin1String("DIR_CLEAR"))
            return answerFileCommand(name, rest);
        return error;
    }
    // Verbs other than GET and SET are not understood.
    return error;
}

QByteArray SimCommandDevice::answerFileCommand(const QString &command, const QString &argument)
{
    if (command == QLatin1String("FILE_CREATE"))
        return okOrError(files.beginWrite(argument));
    if (command == QLatin1String("FILE_WRITE")) {
        QByteArray bytes;
        if (!decodeHex(argument, &bytes) || bytes.isEmpty() || bytes.size() > 1024)
            return error;
        return okOrError(files.writeBlock(bytes));
    }
    if (command == QLatin1String("FILE_CLOSE") && argument.isEmpty())
        return okOrError(files.closeTransfer());
    if (command == QLatin1String("FILE_OPEN"))
        return okOrError(files.beginRead(argument));
    if (command == QLatin1String("FILE_RESET") && argument.isEmpty()) {
        files.resetTransfer();
        return ok;
    }
    if (command == QLatin1String("FILE_DELETE"))
        return okOrError(files.remove(argument));
    if (command == QLatin1String("DIR_CLEAR"))
        return okOrError(files.clearDir(argument));
    return error;
}

QByteArray SimCommandDevice::answerBootloader(const QString &line)
{
    if (line == QLatin1String("GET VERSION"))
        return value(bootKey());
    if (line.startsWith(QLatin1String("SET ADDR 0x"))) {
        bool numeric = false;
        const uint address = line.mid(11).toUInt(&numeric, 16);
        if (!numeric)
            return error;
        flashAddress = address;
        return ok;
    }
    if (line == QLatin1String("SET ERASEBLOCK"))
        return okOrError(flash.eraseBlock(flashAddress, flashLayout, isConsole(m_device->type)));
    if (line.startsWith(QLatin1String("SET WRITEFLASH ")) ||
        line.startsWith(QLatin1String("SET VERIFYFLASH "))) {
        QByteArray page;
        if (!decodeHex(line.section(QLatin1Char(' '), 2), &page) ||
            page.size() != SimFlash::pageSize)
            return error;
        if (line.startsWith(QLatin1String("SET WRITEFLASH "))) {
            const bool worn = faults.badPage && flashAddress == faults.badPageAddress;
            return okOrError(flash.program(flashAddress, worn ? damaged(page) : page));
        }
        return okOrError(flash.verify(flashAddress, page));
    }
    if (line == QLatin1String("SET EXITBOOT")) {
        // A device that runs only its bootloader has no firmware to go back to.
        if (m_device->type != DeviceType::Bootloader && m_device->type != DeviceType::BexarBoot)
            bootMode = false;
        emit restarting();
        return ok;
    }
    return error;
}
