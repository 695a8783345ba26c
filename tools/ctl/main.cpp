// varimonctl: the headless master on the program's own serial port and communication manager.

#include "platform/CommDriver.h"
#include "platform/ProgramFolders.h"
#include "tools/common/ToolCommandLine.h"
#include "tools/ctl/CtlPublish.h"
#include "tools/ctl/CtlRunner.h"
#include "tools/ctl/CtlStats.h"
#include "tools/ctl/CtlTransfer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <iostream>
#include <map>
#include <memory>

namespace {

int g_interruptPipe[2] = {-1, -1};

void OnInterrupt(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] ssize_t n = ::write(g_interruptPipe[1], &byte, 1);
}

// monitor --stats: the station's line health on stderr once a second, and a summary at the end.
class StatsPrinter {
public:
    StatsPrinter(const vm::CommManager& manager, const vm::ctl::CtlOptions& options)
        : stats_(manager, options.station, options.json, 0), on_(options.stats)
    {
        clock_.start();
        if (!on_)
            return;
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { std::cerr << stats_.Line(clock_.elapsed()) << std::endl; });
        timer_.start(1000);
    }
    void Finish()
    {
        timer_.stop();
        if (on_)
            std::cerr << stats_.Summary(clock_.elapsed()) << std::endl;
    }

private:
    vm::ctl::CtlStats stats_;
    bool on_;
    QElapsedTimer clock_;
    QTimer timer_;
};

// Upload, download and compare; Ctrl+C stops the transfer.
int RunFileCommand(QCoreApplication& app, vm::CommDriver& driver, vm::ctl::CtlOptions options)
{
    using namespace vm::ctl;
    if (options.dataDir.empty()) {
        const QByteArray env = qgetenv("VARIMON_DATA_DIR");
        options.dataDir =
            env.isEmpty() ? vm::ResolveApplicationFolders().data.toStdString() : env.toStdString();
    }
    CtlTransfer transfer(driver.Manager(), options, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
    transfer.onFinished = [&] {
        QMetaObject::invokeMethod(
            &app, [&] { app.exit(transfer.ExitCode()); }, Qt::QueuedConnection);
    };
    if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
    }
    QSocketNotifier interrupt(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&] {
        char signal = 0;
        if (::read(g_interruptPipe[0], &signal, 1) == 1)
            transfer.Interrupt(signal);
    });
    transfer.Begin();
    const int code = app.exec();
    driver.Stop();
    return code;
}

// A monitor outlives an unplugged adapter or a stopped simulator: it says so and goes on once the
// device is back. VARIMON_REOPEN_MS shortens the reopen interval (tests).
void FollowLostPort(vm::CommDriver& driver, vm::ctl::CtlRunner& runner, const std::string& port)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VARIMON_REOPEN_MS", &ok);
    if (ok && ms > 0)
        driver.SetReopenInterval(ms);
    QObject::connect(&driver, &vm::CommDriver::portLost, [&driver, &runner, port] {
        const double seconds = driver.ReopenInterval() / 1000.0;
        std::cerr << "varimonctl: Port lost: " << port << "; reopening every " << seconds << " s\n"
                  << std::flush;
        runner.PortLost();
    });
    QObject::connect(&driver, &vm::CommDriver::portRestored, [&runner, port] {
        std::cerr << "varimonctl: Port reopened: " << port << "\n" << std::flush;
        runner.PortRestored();
    });
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace vm::ctl;
    vm::Result<CtlOptions> parsed = ParseCtlOptions({argv + 1, argv + argc});
    if (!parsed) {
        std::cerr << "varimonctl: " << parsed.Text() << "\nUsage: " << CtlSynopsis()
                  << "\nRun 'varimonctl --help' for the commands and options.\n";
        return kExitUsage;
    }
    CtlOptions options = std::move(parsed).Value();
    if (options.help) {
        std::cout << CtlHelp();
        return kExitOk;
    }
    if (options.version) {
        std::cout << "varimonctl " << vm::tools::ToolVersion() << "\n";
        return kExitOk;
    }

    QCoreApplication app(argc, argv);
    vm::CommDriver driver;
    QObject::connect(&driver, &vm::CommDriver::portError, [](const QString& caption, const QString& text) {
        std::cerr << caption.toStdString() << ": " << text.toStdString() << std::flush;
    });
    if (driver.Start(options.settings) != 0) {
        std::cerr << "varimonctl: Can't open " << options.settings.portName << " port\n";
        return kExitPort;
    }

    if (IsFileCommand(options.command))
        return RunFileCommand(app, driver, options);
    CtlRunner runner(driver.Manager(), options, std::cout, std::cerr);
    runner.onFinished = [&] {
        QMetaObject::invokeMethod(
            &app, [&] { app.exit(runner.ExitCode()); }, Qt::QueuedConnection);
    };
    if (options.command == Command::Monitor)
        FollowLostPort(driver, runner, options.settings.portName);

    // Ctrl+C ends a running monitor cleanly.
    if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
    }
    QSocketNotifier interrupt(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&] { runner.Interrupt(); });

    // --mqtt: the publisher runs on threads of its own; the line only hands it messages.
    std::unique_ptr<CtlPublish> publish;
    QTimer publishTick;
    if (!options.mqtt.empty()) {
        publish = std::make_unique<CtlPublish>(CtlPublish::Options(options), options.station);
        if (const vm::Result<void> started = publish->Start(); !started) {
            std::cerr << "varimonctl: MQTT: " << started.Text() << "\n";
            return kExitPort;
        }
        auto now = [] { return QDateTime::currentMSecsSinceEpoch(); };
        runner.onPoll = [&publish, now](const vm::StationRecord& r,
                                        const std::map<uint16_t, uint16_t>& poll) {
            publish->OnPoll(r, poll, now());
        };
        QObject::connect(&driver, &vm::CommDriver::portLost,
                         [&publish, now] { publish->OnLineEvent("Port lost", now()); });
        QObject::connect(&driver, &vm::CommDriver::portRestored,
                         [&publish, now] { publish->OnLineEvent("Port reopened", now()); });
        QObject::connect(&publishTick, &QTimer::timeout, [&publish, &options, now] {
            publish->Tick(now());
            static int64_t lastShown = 0;
            if (options.stats && now() - lastShown >= 1000) {
                lastShown = now();
                std::cerr << publish->StatsLine() << std::endl;
            }
        });
        publishTick.start(100);
    }

    StatsPrinter stats(driver.Manager(), options);
    runner.Begin();
    const int code = app.exec();
    stats.Finish();
    driver.Stop();
    if (publish) {
        publishTick.stop();
        std::cerr << publish->StatsLine() << std::endl;
        publish->Stop();
    }
    return code;
}
