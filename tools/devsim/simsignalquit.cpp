#include "tools/devsim/simsignalquit.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

int SimSignalQuit::fds[2] = {-1, -1};

SimSignalQuit::SimSignalQuit(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return;
    notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        if (::read(fds[1], &byte, 1) >= 0)
            QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = &SimSignalQuit::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

SimSignalQuit::~SimSignalQuit()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    delete notifier;
    for (int &fd : fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SimSignalQuit::handler(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fds[0], &byte, 1);
}
