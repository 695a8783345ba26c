#include "PlantServers.h"

#include "tests/support/ServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::e2e {
namespace {

bool WriteFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

void StopProcess(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(kDeadlineMs)) {
        p.kill();
        p.waitForFinished(kDeadlineMs);
    }
}

}  // namespace

int FreeTcpPort()
{
    return test::FreeLoopbackPort();
}

bool Ser2net::Start(const QString& device, bool rfc2217, int port)
{
    port_ = port > 0 ? port : FreeTcpPort();
    rfc2217_ = rfc2217;
    const QByteArray accepter = rfc2217 ? "telnet(rfc2217),tcp" : "tcp";
    const QByteArray yaml = "connection: &line\n  accepter: " + accepter + ",127.0.0.1," +
                            QByteArray::number(port_) + "\n  connector: serialdev," + device.toUtf8() +
                            ",9600n81,local\n  options:\n    kickolduser: true\n";
    const QString config = dir_.filePath("ser2net.yaml");
    if (!WriteFile(config, yaml))
        return false;
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // -n: in the foreground; -u: no UUCP lock files.
    return test::StartServer(process_, QStringLiteral("ser2net"),
                             {"-n", "-u", "-c", config, "-P", dir_.filePath("ser2net.pid")}, port_,
                             kDeadlineMs);
}

void Ser2net::Stop()
{
    StopProcess(process_);
}

QString Ser2net::Url() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(rfc2217_ ? "rfc2217" : "tcp").arg(port_);
}

bool Broker::Start(int port)
{
    port_ = port > 0 ? port : FreeTcpPort();
    const QByteArray conf =
        "listener " + QByteArray::number(port_) + " 127.0.0.1\nallow_anonymous true\npersistence false\n";
    const QString config = dir_.filePath("mosquitto.conf");
    if (!WriteFile(config, conf))
        return false;
    process_.setProcessChannelMode(QProcess::MergedChannels);
    return test::StartServer(process_, QStringLiteral("mosquitto"), {"-c", config}, port_, kDeadlineMs);
}

void Broker::Stop()
{
    StopProcess(process_);
}

Subscriber::~Subscriber()
{
    StopProcess(process_);
}

bool Subscriber::Start(int port, const QString& topic)
{
    // Subscribed once a retained marker arrives: mosquitto_sub itself says nothing.
    const QString marker = QStringLiteral("varimon/_ready");
    if (QProcess::execute(QStringLiteral("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(port),
                                                            "-r", "-q", "1", "-t", marker, "-m", "1"}) != 0)
        return false;
    process_.start(QStringLiteral("mosquitto_sub"), {"-h", "127.0.0.1", "-p", QString::number(port), "-q",
                                                     "1", "-t", topic, "-t", marker, "-F", "%t|%r|%q|%p"});
    if (!process_.waitForStarted(kDeadlineMs))
        return false;
    return WaitFor([&](const QString& line) { return line.startsWith(marker + "|"); });
}

QStringList Subscriber::Lines()
{
    out_ += QString::fromUtf8(process_.readAllStandardOutput());
    return out_.split('\n', Qt::SkipEmptyParts);
}

bool Subscriber::WaitFor(const std::function<bool(const QString&)>& test, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        for (const QString& line : Lines())
            if (test(line))
                return true;
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(static_cast<int>(std::min<qint64>(100, deadline.remainingTime())));
    }
}

SilentServer::SilentServer()
{
    fd_ = test::ListenOnLoopback(&port_);
}

SilentServer::~SilentServer()
{
    ::close(fd_);
}

ScriptedServer::ScriptedServer(QByteArray bytes)
{
    fd_ = test::ListenOnLoopback(&port_);
    [[maybe_unused]] int rc = ::pipe2(wake_, O_CLOEXEC);
    thread_ = std::thread([this, bytes] {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) <= 0 || !(p[0].revents & POLLIN))
            return;
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        ::send(client, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL);
        // Read and forget what the client sends, until the test ends.
        pollfd q[2] = {{client, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        char sink[256];
        while (::poll(q, 2, -1) > 0 && !(q[1].revents & POLLIN))
            if (::recv(client, sink, sizeof sink, 0) <= 0)
                break;
        ::close(client);
    });
}

ScriptedServer::~ScriptedServer()
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
    thread_.join();
    for (int fd : {fd_, wake_[0], wake_[1]})
        ::close(fd);
}

}  // namespace vm::e2e
