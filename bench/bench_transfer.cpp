// Upload and download (verified) of every parameter of the largest data file through SerialPort,
// CommManager, the Qt tick and the transfer engine over a pseudo-terminal, in both protocols;
// compared with the 30 ms tick bound (one request a tick) and with the time on a real wire.

#include "catalogue/Models.h"
#include "catalogue/StationRecord.h"
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "paramdb/ParameterData.h"
#include "platform/CommDriver.h"
#include "transfer/ParaTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>

namespace {

constexpr int kTickMs = 30;
constexpr int kBitsPerByte = 10;  // start, 8 data, stop

// The biggest data file below the Data folder: "<model name>", version.
std::pair<std::string, int> LargestDataFile(int& model)
{
    std::filesystem::path best;
    for (const auto& e : std::filesystem::recursive_directory_iterator(VARIMON_DATA_DIR))
        if (e.path().extension() == ".dat" &&
            (best.empty() || e.file_size() > std::filesystem::file_size(best)))
            best = e.path();
    const std::string stem = best.stem().string();  // QM-A20_0210
    const size_t us = stem.rfind('_');
    model = -1;
    for (int m = 0; m < 256 && model < 0; ++m)
        if (vm::ModelName(m) == stem.substr(0, us))
            model = m;
    return {stem.substr(0, us), std::stoi(stem.substr(us + 1), nullptr, 16)};
}

struct Run {
    double seconds = 0;
    int requests = 0;
    bool ok = false;
};

Run Transfer(vm::CommManager& manager, vm::StationRecord& record, vm::TransferOperation op,
             const std::string& file, bool verify)
{
    vm::MessageLog messages;
    const auto kind = vm::TransferFileKind::Parameter;
    vm::Result<vm::TransferSet> set = vm::PrepareTransferSet(op, file, kind, *record.paramData, messages);
    if (!set)
        return {};
    vm::ParaTransfer transfer(manager, record);
    QEventLoop loop;
    int requests = 0;
    transfer.onProgress = [&](int done, int) { requests += done > 0 ? 1 : 0; };
    transfer.onPaused = [&](vm::ParaTransfer::PauseReason) { transfer.AnswerStop(true); };
    transfer.onEnded = [&] { loop.quit(); };
    vm::ParaTransfer::Options options;
    options.verify = verify;
    QElapsedTimer clock;
    clock.start();
    if (!transfer.Start(op, std::move(set).Value(), options))
        return {};
    loop.exec();
    Run run;
    run.seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    run.requests = requests + (op == vm::TransferOperation::Download ? 1 : 0);  // the leading write
    run.ok = transfer.GetEnd() == vm::ParaTransfer::End::Finished && transfer.Failed().empty() &&
             transfer.Mismatches().empty();
    if (op == vm::TransferOperation::Upload)
        run.ok = run.ok && transfer.SaveUpload(file, messages).Ok();
    return run;
}

void Report(const char* what, const Run& r, int parameters)
{
    const double perSecond = parameters / r.seconds;
    const double bound = 1000.0 / kTickMs;
    std::printf(
        "  %-22s %s %4d parameters, %4d requests in %6.2f s: %6.1f parameters/s, %6.1f requests/s = %.2f of "
        "the tick bound (%.1f requests/s)\n",
        what, r.ok ? "ok  " : "FAIL", parameters, r.requests, r.seconds, perSecond, r.requests / r.seconds,
        r.requests / r.seconds / bound, bound);
}

void WireTimes(int parameters, int writable)
{
    const uint16_t one[1] = {};
    const size_t kxRead =
        vm::kx485::Frame(vm::kx485::BuildRead(1, 0x5101)).size() + vm::kx485::BuildAck(1, 'R', one).size();
    const size_t kxWrite =
        vm::kx485::Frame(vm::kx485::BuildWrite(1, 0x5101, 0)).size() + vm::kx485::BuildAck(1, 'W').size();
    const size_t mbRead = vm::modbus::BuildRead(1, 0x5101).size() + 7;
    const size_t mbWrite = vm::modbus::BuildWrite(1, 0x5101, 0).size() + 8;
    std::printf(
        "the same transfers on a wire (10 bits a byte, no gaps or turnaround), and the tick-bound time:\n");
    for (int baud : {9600, 19200, 38400}) {
        for (auto [name, read, write] :
             {std::tuple{"kx485", kxRead, kxWrite}, std::tuple{"modbus", mbRead, mbWrite}}) {
            const double up = static_cast<double>(read * kBitsPerByte) * parameters / baud;
            const double down = static_cast<double>(write * kBitsPerByte) * writable / baud;
            std::printf(
                "  %5d baud %-6s upload %5.2f s, download %5.2f s, download+verify %5.2f s "
                "(tick bound: %.2f / %.2f s)\n",
                baud, name, up, down, down + static_cast<double>(read * kBitsPerByte) * writable / baud,
                parameters * kTickMs / 1000.0, writable * kTickMs / 1000.0);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int model = -1;
    const auto [modelName, version] = LargestDataFile(model);
    QTemporaryDir dir;
    const QString link = dir.filePath("line");
    QProcess sim;
    sim.start(VARIMON_BINARY_DIR "/tools/sim/varimon-sim",
              {"--link", link, "--station", QString::fromStdString("1:" + modelName)});
    QDeadlineTimer deadline(30000);
    while (!sim.canReadLine() && sim.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    if (!sim.readLine().startsWith("ready")) {
        std::printf("varimon-sim did not start\n");
        return 1;
    }
    vm::StationRecord record;
    record.station = 1;
    record.present = 1;
    record.connected = 1;
    record.model = model;
    record.version = version;
    record.timeScale = vm::kDefaultTimeScale;
    record.paramData = std::make_shared<vm::ParameterData>();
    if (!record.paramData->LoadDataFile(record, VARIMON_DATA_DIR)) {
        std::printf("no data file\n");
        return 1;
    }
    const int parameters = record.paramData->TotalItemCount();
    int writable = 0;
    for (const auto& g : record.paramData->Groups())
        for (const auto& item : g->items)
            writable += item->writable ? 1 : 0;
    std::printf("%s version %04X: %d parameters, %d writable\n", modelName.c_str(), version, parameters,
                writable);
    const std::string file = dir.filePath("drive.par").toStdString();
    for (auto [name, protocol] : {std::pair{"kx485", vm::kKx485}, std::pair{"modbus", vm::kModbusRtu}}) {
        vm::CommDriver driver;
        vm::CommSettings settings;
        settings.portName = link.toStdString();
        settings.protocolMode = protocol;
        if (driver.Start(settings) != 0) {
            std::printf("cannot open %s\n", settings.portName.c_str());
            return 1;
        }
        std::printf("%s:\n", name);
        Report("upload", Transfer(driver.Manager(), record, vm::TransferOperation::Upload, file, false),
               parameters);
        // A download writes the writable parameters only.
        Report("download", Transfer(driver.Manager(), record, vm::TransferOperation::Download, file, false),
               writable);
        Report("download --verify",
               Transfer(driver.Manager(), record, vm::TransferOperation::Download, file, true), writable);
        driver.Stop();
    }
    WireTimes(parameters, writable);
    sim.terminate();
    sim.waitForFinished(30000);
    return 0;
}
