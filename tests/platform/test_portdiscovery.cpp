#include "platform/PortDiscovery.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/platform/QStringPrinter.h"

using namespace vm;

TEST(PortDiscoveryTest, postProcessingFillsFriendlyNamesAndDescriptions)
{
    std::vector<PortRecord> ports{
        {"/dev/ttyUSB4", "ttyUSB4", "USB Serial Port (COM5)", 1, ""},
        {"/dev/ttyS0", "ttyS0", "", 0, ""},
        {"/dev/ttyS1", "ttyS1", "(odd) name", 0, ""},
        {"/dev/ttyS2", "ttyS2", "Plain Name", 0, ""},
        {"/dev/ttyS3", "ttyS3", "Keeps (x)", 0, "Own description"},
    };
    PostProcessPorts(ports);
    EXPECT_EQ(ports[0].description, "USB Serial Port");
    EXPECT_EQ(ports[0].usb, 1u);
    EXPECT_EQ(ports[1].friendlyName, "ttyS0");
    EXPECT_EQ(ports[1].description, "ttyS0");
    EXPECT_EQ(ports[2].description, "(odd) name");
    EXPECT_EQ(ports[3].description, "Plain Name");
    EXPECT_EQ(ports[4].description, "Own description");
}

TEST(PortDiscoveryTest, usbFlagFollowsTheSysfsDeviceLink)
{
    QTemporaryDir sys;
    QDir root(sys.path());
    ASSERT_TRUE(root.mkpath("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0"));
    ASSERT_TRUE(root.mkpath("devices/platform/serial8250/ttyS0"));
    ASSERT_TRUE(root.mkpath("class/tty/ttyUSB0"));
    ASSERT_TRUE(root.mkpath("class/tty/ttyS0"));
    ASSERT_TRUE(QFile::link(root.filePath("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0"),
                            root.filePath("class/tty/ttyUSB0/device")));
    ASSERT_TRUE(
        QFile::link(root.filePath("devices/platform/serial8250"), root.filePath("class/tty/ttyS0/device")));

    EXPECT_EQ(UsbFlagFromSysfs(sys.path(), "ttyUSB0"), 1u);
    EXPECT_EQ(UsbFlagFromSysfs(sys.path(), "ttyS0"), 0u);
    EXPECT_EQ(UsbFlagFromSysfs(sys.path(), "ttyACM9"), 0u);  // no sysfs entry at all

    const auto records = MakePortRecords(
        {{"ttyS0", "/dev/ttyS0", ""}, {"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART"}}, sys.path());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].friendlyName, "ttyS0");
    EXPECT_EQ(records[0].usb, 0u);
    EXPECT_EQ(records[1].friendlyName, "FT232R USB UART (ttyUSB0)");
    EXPECT_EQ(records[1].description, "FT232R USB UART");
    EXPECT_EQ(records[1].usb, 1u);
}

TEST(PortDiscoveryTest, nameListKeepsDiscoveryOrderAndFallsBackToSixteenBuiltInPorts)
{
    std::vector<PortRecord> ports{{"/dev/ttyUSB1", "ttyUSB1", "", 1, ""},
                                  {"/dev/ttyS0", "ttyS0", "", 0, ""},
                                  {"/dev/ttyUSB1", "ttyUSB1", "", 1, ""}};
    EXPECT_EQ(PortNameList(ports), (QStringList{"/dev/ttyUSB1", "/dev/ttyS0"}));

    const QStringList fallback = PortNameList({});
    ASSERT_EQ(fallback.size(), 16);
    EXPECT_EQ(fallback.first(), "/dev/ttyS0");
    EXPECT_EQ(fallback.last(), "/dev/ttyS15");
}
