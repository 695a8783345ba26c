// What the port setup and Select ID dialogs decide, with and without their windows.
#include "monitor/Dialogs.h"
#include "platform/PortDiscovery.h"
#include "tests/platform/QStringPrinter.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSpinBox>

using namespace vm;

TEST(PortSetupFormTest, controlsShowTheSettingsOrTheirListsRule)
{
    MainSettings s;
    s.port = "/dev/ttyUSB0";
    s.baudRate = 14400;  // not offered
    s.dataBit = 7;
    s.parity = 2;
    s.stopBit = 1;
    s.retryCount = 7;  // not offered: the first entry
    s.commMode = 0;
    s.timeOut = 1200;
    const PortSetupForm f(s, {"/dev/ttyS0", "/dev/ttyUSB0"});
    EXPECT_EQ(f.port, "/dev/ttyUSB0");
    EXPECT_EQ(PortSetupForm::BaudRates()[f.baudIndex], "9600");
    EXPECT_EQ(PortSetupForm::DataBits()[f.dataBitIndex], "7");
    EXPECT_EQ(PortSetupForm::Parities()[f.parityIndex], "Even");
    EXPECT_EQ(PortSetupForm::StopBits()[f.stopBitIndex], "1.5");
    EXPECT_EQ(PortSetupForm::Retries()[f.retryIndex], "2");
    EXPECT_EQ(PortSetupForm::Protocols()[f.protocolIndex], "MODBUS-RTU");
    EXPECT_EQ(f.timeOutText, "1200");
    EXPECT_TRUE(f.autoTx);
    EXPECT_FALSE(f.TxLevelEnabled());
}

TEST(PortSetupFormTest, pacingTurnaroundAndBlockReadsRoundTripAndAreChecked)
{
    MainSettings s;
    PortSetupForm f(s, {"/dev/ttyS0"});
    EXPECT_EQ(PortSetupForm::Pacings()[f.pacingIndex], "30 ms tick");
    EXPECT_FALSE(f.TurnaroundEnabled());
    EXPECT_FALSE(f.BlockReadsEnabled());  // KX485
    f.pacingIndex = 1;
    f.protocolIndex = 0;
    f.turnaroundText = "5";
    f.blockReads = true;
    f.blockReadMaxText = "125";
    EXPECT_TRUE(f.TurnaroundEnabled());
    EXPECT_TRUE(f.BlockReadsEnabled());
    MainSettings out = s;
    ASSERT_FALSE(f.Apply(out).has_value());
    EXPECT_EQ(out.pacing, 1);
    EXPECT_EQ(out.turnaroundMs, 5);
    EXPECT_EQ(out.blockReads, 1);
    EXPECT_EQ(out.blockReadMax, 125);
    const PortSetupForm back(out, {"/dev/ttyS0"});
    EXPECT_EQ(back.pacingIndex, 1);
    EXPECT_EQ(back.turnaroundText, "5");
    EXPECT_TRUE(back.blockReads);

    f.blockReadMaxText = "126";
    MainSettings refused = s;
    EXPECT_EQ(f.Apply(refused).value_or(""), "Please enter an integer between 2 and 125.");
    EXPECT_EQ(refused.pacing, 0);
    f.blockReadMaxText = "16";
    f.turnaroundText = "101";
    EXPECT_EQ(f.Apply(refused).value_or(""), "Please enter an integer between 0 and 100.");
}

TEST(PortSetupFormTest, aKeptUndiscoveredPortIsOfferedBesideTheDiscoveredOnes)
{
    MainSettings s;
    s.port = "/tmp/varimon-line";
    const PortSetupForm f(s, {"/dev/ttyS0"});
    EXPECT_EQ(f.ports, (QStringList{"/dev/ttyS0", "/tmp/varimon-line"}));
    EXPECT_EQ(f.port, "/tmp/varimon-line");
}

TEST(PortSetupFormTest, applyRefusesATimeOutOutsideItsRangeAndLeavesTheSettings)
{
    MainSettings s;
    PortSetupForm f(s, {"/dev/ttyS0"});
    f.timeOutText = "100";
    f.baudIndex = 5;
    MainSettings out = s;
    const auto error = f.Apply(out);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "Please enter an integer between 500 and 3000.");
    EXPECT_EQ(out.baudRate, 9600);

    f.timeOutText = "abc";
    EXPECT_TRUE(f.Apply(out).has_value());
    f.timeOutText = " ";
    EXPECT_TRUE(f.Apply(out).has_value());
}

TEST(PortSetupFormTest, applyReadsEveryControlBackAndAcceptsATypedDevicePath)
{
    MainSettings s;
    PortSetupForm f(s, {"/dev/ttyS0"});
    f.port = "  /dev/serial/by-id/usb-adapter  ";
    f.baudIndex = 4;
    f.dataBitIndex = 0;
    f.parityIndex = 4;
    f.stopBitIndex = 2;
    f.autoTx = false;
    f.txLevelIndex = 1;
    f.protocolIndex = 0;
    f.timeOutText = "3000";
    f.retryIndex = 3;
    EXPECT_TRUE(f.TxLevelEnabled());
    ASSERT_FALSE(f.Apply(s).has_value());
    EXPECT_EQ(s.port, "/dev/serial/by-id/usb-adapter");
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.dataBit, 5);
    EXPECT_EQ(s.parity, 4);
    EXPECT_EQ(s.stopBit, 2);
    EXPECT_EQ(s.autoTxEnable, 0);
    EXPECT_EQ(s.txActiveHigh, 0);
    EXPECT_EQ(s.commMode, 0);
    EXPECT_EQ(s.timeOut, 3000);
    EXPECT_EQ(s.retryCount, 5);

    f.port = "";
    EXPECT_TRUE(f.Apply(s).has_value());
}

TEST(PortSetupDialogTest, rtsModeEnablesTheTransmitLevelListAndAutoModeDisablesIt)
{
    MainSettings s;
    CPortSetupDlg dialog(s, {"/dev/ttyS0"}, {{"/dev/ttyS0", "ttyS0", "ttyS0", 0, "ttyS0"}});
    auto* level = dialog.findChild<QComboBox*>("txLevel");
    ASSERT_NE(level, nullptr);
    EXPECT_FALSE(level->isEnabled());
    auto radios = dialog.findChildren<QRadioButton*>();
    QRadioButton* rts = nullptr;
    QRadioButton* autoMode = nullptr;
    for (QRadioButton* r : radios) {
        if (r->text() == "RTS Mode")
            rts = r;
        if (r->text() == "Auto Mode")
            autoMode = r;
    }
    ASSERT_TRUE(rts && autoMode);
    rts->setChecked(true);
    EXPECT_TRUE(level->isEnabled());
    autoMode->setChecked(true);
    EXPECT_FALSE(level->isEnabled());

    // A typed path reaches the form.
    auto* port = dialog.findChild<QComboBox*>("port");
    port->setCurrentText("/tmp/line");
    EXPECT_EQ(dialog.Form().port, "/tmp/line");
}

TEST(SelectIdFormTest, initialValuesAreLimitedAndAStartAboveTheEndIsLowered)
{
    MainSettings s;
    s.scanMode = kScanRange;
    s.scanIdOne = 0;
    s.scanIdFrom = 300;
    s.scanIdTo = 40;
    const SelectIdForm f(s);
    EXPECT_EQ(f.oneText, "1");
    EXPECT_EQ(f.fromText, "40");
    EXPECT_EQ(f.toText, "40");
    EXPECT_TRUE(f.RangeEnabled());
    EXPECT_FALSE(f.OneEnabled());
}

TEST(SelectIdFormTest, searchRaisesAnEndBelowTheStartAndRefusesOutOfRangeIds)
{
    MainSettings s;
    SelectIdForm f(s);
    f.mode = kScanRange;
    f.fromText = "20";
    f.toText = "5";
    ASSERT_FALSE(f.Accept(s).has_value());
    EXPECT_EQ(s.scanMode, kScanRange);
    EXPECT_EQ(s.scanIdFrom, 20);
    EXPECT_EQ(s.scanIdTo, 20);
    EXPECT_EQ(SelectIdForm::Ids(s), std::vector<int>{20});

    f.mode = kScanOneId;
    f.oneText = "256";
    const auto error = f.Accept(s);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "Please enter an integer between 1 and 255.");
}

TEST(SelectIdFormTest, onlyTheFieldsOfTheChosenModeAreChecked)
{
    MainSettings s;
    s.scanIdOne = 9;
    SelectIdForm f(s);
    f.oneText = "0";
    f.mode = kScanRange;
    f.fromText = "6";
    f.toText = "4";
    ASSERT_FALSE(f.Accept(s).has_value());
    EXPECT_EQ(SelectIdForm::Ids(s), std::vector<int>{6});
    EXPECT_EQ(s.scanIdOne, 9);  // the unused field's text is not taken

    f.mode = kScanAllIds;
    f.fromText = "x";
    EXPECT_FALSE(f.Accept(s).has_value());
    f.mode = kScanOneId;
    EXPECT_EQ(f.Accept(s).value_or(""), "Please enter an integer between 1 and 255.");
}

TEST(SelectIdFormTest, eachModeScansItsIds)
{
    MainSettings s;
    s.scanMode = kScanOneId;
    s.scanIdOne = 17;
    EXPECT_EQ(SelectIdForm::Ids(s), std::vector<int>{17});
    s.scanMode = kScanRange;
    s.scanIdFrom = 3;
    s.scanIdTo = 6;
    EXPECT_EQ(SelectIdForm::Ids(s), (std::vector<int>{3, 4, 5, 6}));
    s.scanMode = kScanAllIds;
    const auto all = SelectIdForm::Ids(s);
    ASSERT_EQ(all.size(), 31u);
    EXPECT_EQ(all.front(), 1);
    EXPECT_EQ(all.back(), 31);
}

TEST(SelectIdDialogTest, onlyTheChosenModesControlsAreEnabled)
{
    MainSettings s;
    CSelectIdDlg dialog(s);
    auto* one = dialog.findChild<QSpinBox*>("one");
    auto* from = dialog.findChild<QSpinBox*>("from");
    auto* to = dialog.findChild<QSpinBox*>("to");
    ASSERT_TRUE(one && from && to);
    EXPECT_TRUE(one->isEnabled());
    EXPECT_FALSE(from->isEnabled());
    for (QRadioButton* r : dialog.findChildren<QRadioButton*>()) {
        if (r->text() == "&All IDs")
            r->setChecked(true);
    }
    EXPECT_FALSE(one->isEnabled());
    EXPECT_FALSE(to->isEnabled());
    EXPECT_EQ(dialog.Form().mode, kScanAllIds);
}

TEST(SelectIdDialogTest, quickScanBoxShowsTheSettingAndSearchStoresIt)
{
    MainSettings s;
    s.quickScan = 0;
    CSelectIdDlg dialog(s);
    auto* quick = dialog.findChild<QCheckBox*>("quickScan");
    ASSERT_TRUE(quick);
    EXPECT_FALSE(quick->isChecked());
    quick->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.Result().quickScan, 1);
    EXPECT_EQ(SelectIdForm(MainSettings{}).quickScan, true);
}

TEST(PortSetupFormTest, aNetworkPortIsTypedCheckedAndGetsItsAllowance)
{
    MainSettings s;
    PortSetupForm f(s, {"/dev/ttyS0"});
    EXPECT_FALSE(f.NetAllowanceEnabled());
    f.port = "rfc2217://gw-7:4001";
    f.netAllowance = 350;
    EXPECT_TRUE(f.NetAllowanceEnabled());
    MainSettings out = s;
    ASSERT_FALSE(f.Apply(out).has_value());
    EXPECT_EQ(out.port, "rfc2217://gw-7:4001");
    EXPECT_EQ(out.netAllowance, 350);

    f.port = "tcp://gw-7";
    out = s;
    const auto error = f.Apply(out);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains("use tcp://HOST:PORT or rfc2217://HOST:PORT")) << error->toStdString();
    EXPECT_EQ(out.port, s.port);
}
