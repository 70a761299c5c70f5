#include "tools/devsim/simscreen.h"

#include "link/screenfont.h"
#include "link/unitscreen.h"
#include "project/devicetype.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simulator.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cctype>

namespace {

// "SERIAL=VALUE" names one device; a value alone (or "=VALUE") is for every central unit.
struct Target {
    int serial = -1;
    QString value;
};

Target target(const QString &text)
{
    static const QRegularExpression prefix(QStringLiteral("^(\\d*)=(.*)$"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = prefix.match(text);
    if (!match.hasMatch())
        return {-1, text};
    return {match.captured(1).isEmpty() ? -1 : match.captured(1).toInt(), match.captured(2)};
}

bool isHexText(const QByteArray &content, QByteArray *bytes)
{
    QByteArray digits;
    for (const char c : content) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (!std::isxdigit(uchar(c)))
            return false;
        digits += c;
    }
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return false;
    *bytes = QByteArray::fromHex(digits);
    return true;
}

} // namespace

SimScreen::SimScreen()
    : screenText(QStringLiteral("screen-text"),
                 QStringLiteral("What the central units (or the one with this serial number) "
                                "show on their screen: up to four lines separated by '|', "
                                "drawn with the console's preview font."),
                 QStringLiteral("[SERIAL=]TEXT"))
    , screenFile(QStringLiteral("screen-file"),
                 QStringLiteral("The screen of the central units (or of the one with this serial "
                                "number) from a file: 512 bytes, or their 1024 hexadecimal "
                                "digits; a file of another size is answered as it is."),
                 QStringLiteral("[SERIAL=]FILE"))
{
}

QString SimScreen::answer(const SimDevice *device)
{
    if (!device->screenAnswer.isEmpty())
        return device->screenAnswer;
    return QString::fromLatin1(defaultScreen(device->serial).toHex().toUpper());
}

QByteArray SimScreen::defaultScreen(int serial)
{
    // A frame round the screen and one dot per serial number digit, enough to see that the
    // screen is read.
    QByteArray bytes(UnitScreen::bufferBytes, '\0');
    for (int column = 0; column < UnitScreen::columns; ++column) {
        bytes[column] = char(bytes.at(column) | 0x01);
        bytes[3 * 128 + column] = char(bytes.at(3 * 128 + column) | 0x80);
    }
    for (int page = 0; page < UnitScreen::pages; ++page) {
        bytes[page * 128] = char(0xFF);
        bytes[page * 128 + 127] = char(0xFF);
    }
    const QString digits = QString::number(serial);
    for (int i = 0; i < digits.size() && i < 20; ++i)
        bytes[128 + 8 + i * 6] = char(1 << (digits.at(i).digitValue() % 8));
    return bytes;
}

QByteArray SimScreen::fromText(const QString &text)
{
    return ScreenFont::preview(text.split(QLatin1Char('|'))).bytes();
}

bool SimScreen::load(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open screen file %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray content = file.read(maxFileBytes + 1);
    if (content.size() > maxFileBytes) {
        *error =
            QStringLiteral("screen file %1 is larger than %2 bytes").arg(path).arg(maxFileBytes);
        return false;
    }
    if (content.isEmpty()) {
        *error = QStringLiteral("screen file %1 is empty").arg(path);
        return false;
    }
    if (content.size() == UnitScreen::bufferBytes || !isHexText(content, bytes))
        *bytes = content;
    return true;
}

void SimScreen::addTo(QCommandLineParser &parser) const
{
    parser.addOption(screenText);
    parser.addOption(screenFile);
}

int SimScreen::apply(const QCommandLineParser &parser, Simulator &simulator, QTextStream &err) const
{
    auto set = [&](const Target &to, const QByteArray &bytes) {
        const QString answer = QString::fromLatin1(bytes.toHex().toUpper());
        bool found = false;
        for (SimDevice *device : simulator.devices()) {
            if (!isCentralUnitType(device->type) || (to.serial >= 0 && device->serial != to.serial))
                continue;
            device->screenAnswer = answer;
            found = true;
        }
        if (!found)
            err << "norda-devsim: no central unit"
                << (to.serial >= 0 ? QStringLiteral(" with serial number %1").arg(to.serial)
                                   : QString())
                << " for the screen" << Qt::endl;
        return found;
    };
    for (const QString &text : parser.values(screenText)) {
        if (!set(target(text), fromText(target(text).value)))
            return 1;
    }
    for (const QString &text : parser.values(screenFile)) {
        const Target to = target(text);
        QByteArray bytes;
        QString error;
        if (!load(to.value, &bytes, &error)) {
            err << "norda-devsim: " << error << Qt::endl;
            return 2;
        }
        if (!set(to, bytes))
            return 1;
    }
    return 0;
}
