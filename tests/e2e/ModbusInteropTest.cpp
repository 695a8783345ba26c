// Our Modbus side against libmodbus, an implementation nobody here wrote.

#include "Processes.h"

#include "platform/CommDriver.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <thread>

namespace vm::e2e {
namespace {

// A libmodbus RTU client on the simulator's line.
class ModbusClient {
public:
    explicit ModbusClient(const QString& device, int slave)
        : ctx_(modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1))
    {
        if (!ctx_)
            return;
        modbus_set_slave(ctx_, slave);
        modbus_set_response_timeout(ctx_, 2, 0);
        connected_ = modbus_connect(ctx_) == 0;
    }
    ~ModbusClient()
    {
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
    }
    bool Connected() const { return connected_; }
    modbus_t* Ctx() const { return ctx_; }

private:
    modbus_t* ctx_ = nullptr;
    bool connected_ = false;
};

TEST(ModbusInterop, libmodbusClientReadsAndWritesTheSimulator)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "modbus", "--station", "1:QM-B20X:0015:1:400"}))
        << sim.Output().toStdString();
    ModbusClient client(sim.Link(), 1);
    ASSERT_TRUE(client.Connected()) << modbus_strerror(errno);

    // Function 4, the register one below the address: addresses 1-3 are registers 0-2.
    uint16_t id[3] = {};
    ASSERT_EQ(modbus_read_input_registers(client.Ctx(), 0, 3, id), 3) << modbus_strerror(errno);
    EXPECT_EQ(id[0], 1);
    EXPECT_EQ(id[1], 1);
    EXPECT_EQ(id[2], 0x0015);
    uint16_t model = 0;
    ASSERT_EQ(modbus_read_input_registers(client.Ctx(), 0xFFFF, 1, &model), 1) << modbus_strerror(errno);
    EXPECT_EQ(model, 10);

    // Function 6 to the acceleration time, read back with function 3.
    ASSERT_EQ(modbus_write_register(client.Ctx(), 0xA101 - 1, 321), 1) << modbus_strerror(errno);
    uint16_t acc = 0;
    ASSERT_EQ(modbus_read_registers(client.Ctx(), 0xA101 - 1, 1, &acc), 1) << modbus_strerror(errno);
    EXPECT_EQ(acc, 321);

    EXPECT_EQ(modbus_write_register(client.Ctx(), 0xA101 - 1, 7000), -1);
    EXPECT_EQ(errno, EMBXILVAL);
    EXPECT_EQ(modbus_write_register(client.Ctx(), 0xA108 - 1, 1), -1);  // read only
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_input_registers(client.Ctx(), 0x7000, 1, &acc), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // Run forward and watch the output frequency rise.
    ASSERT_EQ(modbus_write_register(client.Ctx(), 6 - 1, 2), 1);
    uint16_t status = 0;
    ASSERT_EQ(modbus_read_input_registers(client.Ctx(), 14 - 1, 1, &status), 1);
    EXPECT_EQ(status, 0x12);
}

// A libmodbus RTU server on one end of a socat pair, serving in its own thread.
class ModbusServer {
public:
    ModbusServer(const QString& device, int slave)
        : ctx_(modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1)),
          map_(modbus_mapping_new(0, 0, 64, 64))
    {
        if (!ctx_ || !map_)
            return;
        modbus_set_slave(ctx_, slave);
        modbus_set_indication_timeout(ctx_, 0, 100000);  // wake up to notice the end
        if (modbus_connect(ctx_) != 0)
            return;
        for (int i = 0; i < 64; ++i)
            map_->tab_input_registers[i] = static_cast<uint16_t>(1000 + i);
        running_ = true;
        thread_ = std::thread([this] { Serve(); });
    }
    ~ModbusServer()
    {
        running_ = false;
        if (thread_.joinable())
            thread_.join();
        if (map_)
            modbus_mapping_free(map_);
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
    }
    bool Running() const { return running_; }
    uint16_t Holding(int reg)
    {
        std::lock_guard lock(mutex_);
        return map_->tab_registers[reg];
    }

private:
    void Serve()
    {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (running_) {
            const int n = modbus_receive(ctx_, query);
            if (n > 0) {
                std::lock_guard lock(mutex_);
                modbus_reply(ctx_, query, n, map_);
            }
        }
    }

    modbus_t* ctx_;
    modbus_mapping_t* map_;
    std::atomic<bool> running_{false};
    std::mutex mutex_;
    std::thread thread_;
};

// Two linked pseudo-terminals made by socat; stopped when destroyed.
class PtyPair {
public:
    ~PtyPair()
    {
        socat_.terminate();
        socat_.waitForFinished(kDeadlineMs);
    }
    bool Start()
    {
        socat_.start("socat",
                     {"-d", "-d", "pty,raw,echo=0,link=" + Master(), "pty,raw,echo=0,link=" + Slave()});
        if (!socat_.waitForStarted(kDeadlineMs))
            return false;
        // Wait until socat has made both ends; it logs as it goes, which wakes the wait early.
        QDeadlineTimer deadline(kDeadlineMs);
        while (!(IsSymlink(Master()) && IsSymlink(Slave())) && !deadline.hasExpired()) {
            socat_.waitForReadyRead(100);
            log_ += socat_.readAllStandardError();
        }
        return IsSymlink(Master()) && IsSymlink(Slave());
    }
    QString Master() const { return dir_.filePath("master"); }
    QString Slave() const { return dir_.filePath("slave"); }
    QByteArray Log() const { return log_; }

private:
    QTemporaryDir dir_;
    QProcess socat_;
    QByteArray log_;
};

// Collects what the manager hands back.
class Recorder : public CommClient {
public:
    void OnCommReply(int, const CommReply& reply) override
    {
        if (IsFinalError(reply.error))
            replies.push_back(reply);
    }
    void OnCommMonitor(int, const CommReply& reply) override
    {
        if (reply.error == kNoError)
            monitored.push_back(reply);
    }
    std::vector<CommReply> replies;
    std::vector<CommReply> monitored;
};

// Runs the event loop until the condition holds or the deadline passes.
template <typename Condition>
bool WaitFor(Condition done)
{
    QDeadlineTimer deadline(kDeadlineMs);
    QEventLoop loop;
    while (!done() && !deadline.hasExpired())
        loop.processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

TEST(ModbusInterop, ourManagerReadsAndWritesALibmodbusServer)
{
    PtyPair pair;
    ASSERT_TRUE(pair.Start()) << pair.Log().toStdString();
    const QString master = pair.Master();
    {
        ModbusServer server(pair.Slave(), 7);
        ASSERT_TRUE(server.Running());

        CommDriver driver;
        CommSettings settings;
        settings.portName = master.toStdString();
        settings.protocolMode = kModbusRtu;
        settings.timeoutMs = 500;
        ASSERT_EQ(driver.Start(settings), 0);
        CommManager& manager = driver.Manager();
        Recorder recorder;

        manager.QueueRead(7, 11, &recorder);        // input register 10
        manager.QueueWrite(7, 21, 555, &recorder);  // holding register 20
        ASSERT_TRUE(WaitFor([&] { return recorder.replies.size() == 2; }));
        EXPECT_EQ(recorder.replies[0].error, kNoError);
        EXPECT_EQ(recorder.replies[0].values[0], 1010u);
        EXPECT_EQ(recorder.replies[1].error, kNoError);
        EXPECT_EQ(recorder.replies[1].values[0], 555u);
        EXPECT_EQ(server.Holding(20), 555);

        const uint16_t watched[] = {1, 64};
        manager.AddListener(7, &recorder);
        manager.SetPollRange(7, 7);
        manager.AddMonitor(7, watched);
        ASSERT_TRUE(WaitFor([&] { return recorder.monitored.size() >= 4; }));
        for (const CommReply& r : recorder.monitored)
            EXPECT_EQ(r.values[0], r.addresses[0] == 1 ? 1000u : 1063u);
        driver.Stop();
    }
}

// One write through the manager, timed from queueing to its final reply.
struct TimedWrite {
    CommReply reply;
    double ms = 0;      // from queueing (the frame goes out at the next tick)
    double sentMs = 0;  // from the first frame on the line
    int frames = 0;
};

TimedWrite Write(CommDriver& driver, int station, uint16_t address, uint16_t value)
{
    TimedWrite result;
    Recorder recorder;
    QElapsedTimer clock;
    QMetaObject::Connection counting = QObject::connect(&driver, &CommDriver::traffic, [&](int kind) {
        if (kind == CommManager::kFrameSent && result.frames++ == 0)
            result.sentMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    });
    clock.start();
    driver.Manager().QueueWrite(station, address, value, &recorder);
    const bool done = WaitFor([&] { return !recorder.replies.empty(); });
    result.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    result.sentMs = result.ms - result.sentMs;
    QObject::disconnect(counting);
    EXPECT_TRUE(done);
    if (done)
        result.reply = recorder.replies.front();
    return result;
}

void Report(const char* what, const TimedWrite& w)
{
    const int shown = w.reply.error == kGiveUp ? w.reply.lastError : w.reply.error;
    std::printf(
        "[ timing ] %s: error %d (%s) %.1f ms after queueing, %.1f ms after the first frame, %d frame(s)\n",
        what, w.reply.error, CommManager::ErrorText(shown), w.ms, w.sentMs, w.frames);
    ::testing::Test::RecordProperty(what, static_cast<int>(w.ms));
}

TEST(ModbusInterop, libmodbusServerRefusingAWriteEndsTheRequestAtOnce)
{
    PtyPair pair;
    ASSERT_TRUE(pair.Start()) << pair.Log().toStdString();
    ModbusServer server(pair.Slave(), 7);
    ASSERT_TRUE(server.Running());
    CommDriver driver;
    CommSettings settings;  // the defaults: 1000 ms time-out, three repetitions
    settings.portName = pair.Master().toStdString();
    settings.protocolMode = kModbusRtu;
    ASSERT_EQ(driver.Start(settings), 0);

    // Holding register 99 is beyond the server's 64.
    const TimedWrite refused = Write(driver, 7, 100, 1);
    EXPECT_EQ(refused.reply.error, ModbusExceptionError(2));
    EXPECT_STREQ(CommManager::ErrorText(refused.reply.error), "Modbus Exception 2 (Illegal Data Address)");
    EXPECT_EQ(refused.reply.retries, 0);
    EXPECT_EQ(refused.frames, 1);
    Report("exception reply", refused);

    // What a refusal used to cost: the time-out path of a station that does not answer.
    const TimedWrite silent = Write(driver, 8, 21, 1);
    EXPECT_EQ(silent.reply.error, kGiveUp);
    EXPECT_EQ(silent.frames, settings.retryCount + 1);
    Report("time-out path", silent);

    // The refusing station is still served.
    const TimedWrite accepted = Write(driver, 7, 21, 77);
    EXPECT_EQ(accepted.reply.error, kNoError);
    EXPECT_EQ(server.Holding(20), 77);
    driver.Stop();
}

TEST(ModbusInterop, simulatorRefusingAWriteOutOfRangeEndsTheRequestAtOnce)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "modbus", "--station", "1:QM-B20X:0015:1:400"}))
        << sim.Output().toStdString();
    CommDriver driver;
    CommSettings settings;
    settings.portName = sim.Link().toStdString();
    settings.protocolMode = kModbusRtu;
    ASSERT_EQ(driver.Start(settings), 0);

    const TimedWrite refused = Write(driver, 1, 0xA101, 7000);  // above the parameter's maximum
    EXPECT_EQ(refused.reply.error, ModbusExceptionError(3));
    EXPECT_STREQ(CommManager::ErrorText(refused.reply.error), "Modbus Exception 3 (Illegal Data Value)");
    EXPECT_EQ(refused.frames, 1);
    Report("simulator exception reply", refused);

    const TimedWrite accepted = Write(driver, 1, 0xA101, 321);
    EXPECT_EQ(accepted.reply.error, kNoError);
    EXPECT_EQ(accepted.reply.values[0], 321u);
    driver.Stop();
}

}  // namespace
}  // namespace vm::e2e
