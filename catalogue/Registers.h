#pragma once
// The drive register map and model codes, named once. Windows, the simulator and the tools use
// these names instead of bare numbers, so a register moves in one place only.

#include <cstdint>

namespace vm {

// Model codes of register 0x0000 that the program supports (others are only listed).
enum ModelCode : int {
    kModelQmA10 = 0,
    kModelQmB1 = 1,
    kModelQmC1 = 2,
    kModelQmD1 = 3,
    kModelQmA20 = 4,
    kModelQmC20 = 5,
    kModelQmB20 = 7,
    kModelQmE20 = 8,
    kModelQmF20X = 9,
    kModelQmB20X = 10,
};

namespace reg {

// Identification, read in this order by the scan.
inline constexpr uint16_t kModel = 0x0000;
inline constexpr uint16_t kCapacity = 0x0001;
inline constexpr uint16_t kVoltage = 0x0002;
inline constexpr uint16_t kVersion = 0x0003;

// Commands.
inline constexpr uint16_t kFreqCommand = 5;
inline constexpr uint16_t kRunCommand = 6;
inline constexpr uint16_t kAccTime = 7;
inline constexpr uint16_t kDecTime = 8;

// Live values.
inline constexpr uint16_t kCurrent = 9;
inline constexpr uint16_t kSpeed = 10;  // output frequency, or rpm in rpm display
inline constexpr uint16_t kOutputVoltage = 11;
inline constexpr uint16_t kDcLink = 12;
inline constexpr uint16_t kPower = 13;
inline constexpr uint16_t kStatus = 14;
inline constexpr uint16_t kFault = 15;
inline constexpr uint16_t kTerminals = 16;  // input terminals
inline constexpr uint16_t kOutputs = 17;    // output terminals
inline constexpr uint16_t kAnalog1 = 18;
inline constexpr uint16_t kAnalog2 = 19;
inline constexpr uint16_t kAnalog3 = 20;
inline constexpr uint16_t kRpm = 21;         // speed in rpm whatever the display mode
inline constexpr uint16_t kRpmDisplay = 26;  // non-zero: speeds shown in rpm
inline constexpr uint16_t kPoleCount = 27;
inline constexpr uint16_t kFault2 = 29;  // model 10 from version 0x0015

// QM-C20's own live values (its 29 is no fault word).
inline constexpr uint16_t kC20TargetSpeed = 29;
inline constexpr uint16_t kC20RampSpeed = 30;
inline constexpr uint16_t kC20SpeedInput = 31;
inline constexpr uint16_t kC20Speed = 32;  // QM-C20's speed, signed rpm
inline constexpr uint16_t kC20TorqueRef = 33;
inline constexpr uint16_t kC20TorqueFeedback = 34;
inline constexpr uint16_t kC20NoLoadCurrent = 35;
inline constexpr uint16_t kC20PidRef = 36;
inline constexpr uint16_t kC20PidFeedback = 37;
inline constexpr uint16_t kC20PidOutput = 38;
inline constexpr uint16_t kC20Temperature = 39;

// QM-C20's speed command and its acceleration and deceleration times.
inline constexpr uint16_t kC20SpeedCommand = 1282;
inline constexpr uint16_t kC20AccTime = 1283;
inline constexpr uint16_t kC20DecTime = 1284;
inline constexpr uint16_t kC20LastSetting = 1292;  // its settings run from the speed command to here

// The acceleration/deceleration time resolution, per model (see TimeScaleRegister).
inline constexpr uint16_t kTimeScaleA20 = 0x5347;
inline constexpr uint16_t kTimeScaleE20 = 0x8347;
inline constexpr uint16_t kTimeScaleF20X = 0x924A;
inline constexpr uint16_t kTimeScaleB20X = 0xA347;

// Values written to the run command register.
inline constexpr uint16_t kRunStop = 1;
inline constexpr uint16_t kRunForward = 2;
inline constexpr uint16_t kRunReverse = 4;
inline constexpr uint16_t kRunReset = 8;
inline constexpr uint16_t kRunTripped = 0x80;  // bit set in the run command word while tripped

// Bits of the status word (register 14).
inline constexpr int32_t kStatusStop = 0x01;
inline constexpr int32_t kStatusForward = 0x02;
inline constexpr int32_t kStatusReverse = 0x04;
inline constexpr int32_t kStatusFault = 0x08;
inline constexpr int32_t kStatusAccelerating = 0x10;
inline constexpr int32_t kStatusDecelerating = 0x20;
inline constexpr int32_t kStatusDcBraking = 0x80;  // not on QM-C20

}  // namespace reg
}  // namespace vm
