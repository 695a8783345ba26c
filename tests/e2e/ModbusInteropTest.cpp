// Our Modbus side against libmodbus, an implementation nobody here wrote.

#include "Processes.h"

#include "platform/CommDriver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <cerrno>
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
    ASSERT_TRUE(sim.Start({"--protocol", "modbus", "--station", "1:QM-B20X:0015:1:400"})) << sim.Output().toStdString();
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

// Collects what the manager hands back.
class Recorder : public CommClient {
public:
    void OnCommReply(int, const CommReply& reply) override
    {
        if (reply.error == kNoError || reply.error == kGiveUp)
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
    QTemporaryDir dir;
    const QString master = dir.filePath("master"), slave = dir.filePath("slave");
    QProcess socat;
    socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + master, "pty,raw,echo=0,link=" + slave});
    ASSERT_TRUE(socat.waitForStarted(kDeadlineMs));
    // Wait until socat has made both ends; it logs as it goes, which wakes the wait early.
    QByteArray log;
    QDeadlineTimer deadline(kDeadlineMs);
    while (!(IsSymlink(master) && IsSymlink(slave)) && !deadline.hasExpired()) {
        socat.waitForReadyRead(100);
        log += socat.readAllStandardError();
    }
    ASSERT_TRUE(IsSymlink(master) && IsSymlink(slave)) << log.toStdString();

    {
        ModbusServer server(slave, 7);
        ASSERT_TRUE(server.Running());

        CommDriver driver;
        CommSettings settings;
        settings.portName = master.toStdString();
        settings.protocolMode = kModbusRtu;
        settings.timeoutMs = 500;
        ASSERT_EQ(driver.Start(settings), 0);
        CommManager& manager = driver.Manager();
        Recorder recorder;

        manager.QueueRead(7, 11, &recorder);  // input register 10
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
    socat.terminate();
    socat.waitForFinished(kDeadlineMs);
}

}  // namespace
}  // namespace vm::e2e
