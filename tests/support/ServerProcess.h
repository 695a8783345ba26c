#pragma once
// An outside server (ser2net, mosquitto) started for a test or benchmark and waited for until
// its port on 127.0.0.1 accepts connections.

#include "tests/support/Loopback.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace vm::test {

// Starts program and waits until port accepts; false when it ends first or the deadline passes.
inline bool StartServer(QProcess& server, const QString& program, const QStringList& args, int port,
                        int deadlineMs)
{
    server.start(program, args);
    if (!server.waitForStarted(deadlineMs))
        return false;
    QDeadlineTimer deadline(deadlineMs);
    while (!LoopbackAccepts(port)) {
        if (deadline.hasExpired())
            return false;
        if (server.waitForFinished(20) || server.state() == QProcess::NotRunning)
            return false;
    }
    return true;
}

}  // namespace vm::test
