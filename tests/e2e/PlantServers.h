#pragma once
// Outside servers of the plant network for the end-to-end tests: ser2net serving the simulator's
// pty, a mosquitto broker with a subscriber, and sockets that misbehave. All on 127.0.0.1, on
// free ports, stopped when destroyed.

#include "Processes.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <thread>

namespace vm::e2e {

// A port nothing listens on at the moment.
int FreeTcpPort();

// ser2net with a YAML configuration of its own: the device at a free port, raw or RFC 2217.
class Ser2net {
public:
    ~Ser2net() { Stop(); }
    // port 0: a free one. Waits until it accepts connections.
    bool Start(const QString& device, bool rfc2217, int port = 0);
    void Stop();
    QString Url() const;
    int Port() const { return port_; }
    QString Output() { return QString::fromUtf8(process_.readAll()); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool rfc2217_ = false;
};

// mosquitto with its own configuration, anonymous, without persistence.
class Broker {
public:
    ~Broker() { Stop(); }
    bool Start(int port = 0);
    void Stop();
    int Port() const { return port_; }
    QString Url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// mosquitto_sub at QoS 1 printing "topic|retained|qos|payload" per message.
class Subscriber {
public:
    ~Subscriber();
    bool Start(int port, const QString& topic = QStringLiteral("varimon/#"));
    // Waits until some line satisfies the test; false at the deadline.
    bool WaitFor(const std::function<bool(const QString& line)>& test, int ms = kDeadlineMs);
    QStringList Lines();
    std::string Show() { return Lines().join('\n').toStdString(); }

private:
    QProcess process_;
    QString out_;
};

// Listens and takes connections into its backlog, but never reads or answers.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Accepts one connection, sends bytes, and keeps the connection open until destroyed.
class ScriptedServer {
public:
    explicit ScriptedServer(QByteArray bytes);
    ~ScriptedServer();
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

}  // namespace vm::e2e
