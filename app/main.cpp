#include "app/mainwindow.h"
#include "link/cdcusbsession.h"
#include "monitor/signalwatcher.h"

#include <QApplication>
#include <QDebug>
#include <QMetaType>

#include <cstdint>
#include <cstdio>

namespace {

// Diagnostics go to standard output as plain lines: the text only, no type or context.
void writeToStdout(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(type)
    Q_UNUSED(context)
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeToStdout);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norda-console"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORDA_VERSION));
    // Flashing signals carry uint32_t values between threads.
    qRegisterMetaType<uint32_t>("uint32_t");

    // SIGTERM, SIGHUP and SIGINT end the program as a normal quit does: the window is
    // destroyed below, which writes and closes the journals.
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::interrupted, &app, [](int number) {
        qDebug().noquote() << "Quit on signal" << number;
        QCoreApplication::exit(0);
    });

    auto *window = new MainWindow;
    window->show();
    const int result = app.exec();
    delete window;
    CdcUsbSession::stopAllAndWait(5000);
    return result;
}
