#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;
class QTextStream;
class SimDevice;
class Simulator;

// The screen a simulated central unit answers to "GET SCREEN", and the options that set it.
//
// By default a unit shows a frame round its screen and one dot per digit of its serial
// number. --screen-text draws up to four lines ("line1|line2|line3|line4") with the
// console's own preview font; --screen-file takes 512 bytes as they are, or a text of
// hexadecimal digits (blanks and line ends between them allowed). A file of another size is
// answered as it is, to see how the console treats a wrong answer.
class SimScreen {
public:
    // Bigger screen files are refused.
    static constexpr int maxFileBytes = 64 * 1024;

    SimScreen();

    // The answer of a device: its own screen, or the default picture.
    static QString answer(const SimDevice *device);
    static QByteArray defaultScreen(int serial);
    // The screen of text lines separated by '|'.
    static QByteArray fromText(const QString &text);
    // The screen of a file (see the class comment); false with the reason.
    static bool load(const QString &path, QByteArray *bytes, QString *error);

    void addTo(QCommandLineParser &parser) const;
    // Applies the options to the central units; returns 0, or the exit status after printing
    // the reason to `err`.
    int apply(const QCommandLineParser &parser, Simulator &simulator, QTextStream &err) const;

private:
    QCommandLineOption screenText;
    QCommandLineOption screenFile;
};
