#pragma once
// The graph monitor's section "Scope" of the program settings: run states, table indexes, the
// four channels, colours, trigger, paths and display settings. Every key is clamped as it is
// read, so a hand-edited or damaged profile cannot index outside a table.

#include "scope/ChannelSettings.h"
#include "scope/ScopeTables.h"

#include <QString>

#include <array>
#include <cstdint>

class QSettings;

namespace vm::scope {

inline constexpr std::array<uint32_t, kChannelCount> kDefaultLineColours{0xE7FFB5, 0x94FFDE, 0xFF69FF,
                                                                         0xD6D7D6};
inline constexpr uint32_t kDefaultBackground = 0x000000;
inline constexpr uint32_t kDefaultText = 0xFFFFFF;
inline constexpr uint32_t kDefaultGrid = 0x008000;
inline constexpr uint32_t kDefaultCursor = 0xFFFF00;

enum class SnapshotFormat { Vector = 1, Jpeg = 2, Bitmap = 3 };

struct ScopeSettings {
    bool first = true;
    bool monitorRun = false;
    bool recordRun = false;
    bool triggerRun = false;
    bool graphWatch = false;
    int spanIndex = 5;
    int scanIndex = 3;
    int recordIndex = 2;
    std::array<ChannelSettings, kChannelCount> channels;
    uint32_t background = kDefaultBackground;
    uint32_t text = kDefaultText;
    uint32_t grid = kDefaultGrid;
    uint32_t cursor = kDefaultCursor;
    int triggerEdge = 0;
    int triggerChannel = 0;
    bool snapshot = false;
    double triggerLevel = 0.0;
    QString recordPath;
    QString snapshotPath;
    int snapshotFormat = 3;
    bool autoScale = true;
    double yMin = 0.0;
    double yMax = 100.0;
    bool showLegend = true;
    bool showGrid = true;
    int cursorChannel = 0;
    // Beyond the original keys, off by default.
    bool recordTimeStamps = false;
    bool secondCursor = false;
    bool elapsedAxis = false;
    int postTrigger = kPostTriggerSamples;  // samples after the trigger
    int preTriggerShare = 0;                // % of the span before the trigger point; 0: the view as it stood

    ScopeSettings();

    // Reads section "Scope"; `tempFolder` supplies the default record and snapshot paths.
    void Read(QSettings& settings, const QString& tempFolder);
    void Write(QSettings& settings) const;
};

// Registry colours are 0x00BBGGRR.
uint32_t ColourFromStored(int stored);
int ColourToStored(uint32_t rgb);

}  // namespace vm::scope
