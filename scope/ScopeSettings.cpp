#include "scope/ScopeSettings.h"

#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace vm::scope {

namespace {

int ReadInt(QSettings& s, const QString& key, int def, int lo, int hi)
{
    bool ok = false;
    const int v = s.value(key, def).toInt(&ok);
    if (!ok || v < lo || v > hi)
        return def;
    return v;
}

bool ReadBool(QSettings& s, const QString& key, bool def)
{
    return ReadInt(s, key, def ? 1 : 0, INT32_MIN, INT32_MAX) != 0;
}

double ReadDouble(QSettings& s, const QString& key, double def)
{
    bool ok = false;
    const double v = s.value(key, def).toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : def;
}

uint32_t ReadColour(QSettings& s, const QString& key, uint32_t def)
{
    bool ok = false;
    const qlonglong v = s.value(key, ColourToStored(def)).toLongLong(&ok);
    if (!ok || v < 0 || v > 0xFFFFFF)
        return def;
    return ColourFromStored(static_cast<int>(v));
}

QString Num(double v)
{
    return QString::asprintf("%f", v);
}

bool ExistingFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

}  // namespace

uint32_t ColourFromStored(int stored)
{
    const uint32_t v = static_cast<uint32_t>(stored);
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

int ColourToStored(uint32_t rgb)
{
    return static_cast<int>(ColourFromStored(static_cast<int>(rgb)));
}

ScopeSettings::ScopeSettings()
{
    for (int i = 0; i < kChannelCount; ++i)
        channels[static_cast<size_t>(i)].colour = kDefaultLineColours[static_cast<size_t>(i)];
}

void ScopeSettings::Read(QSettings& s, const QString& tempFolder)
{
    s.beginGroup(QStringLiteral("Scope"));
    first = ReadBool(s, "First", true);
    monitorRun = ReadBool(s, "Monitor Run", false);
    recordRun = ReadBool(s, "Record Run", false);
    triggerRun = ReadBool(s, "Trigger Run", false);
    graphWatch = ReadBool(s, "Graph Watch Mode", false);
    spanIndex = ReadInt(s, "Time Span", 5, 0, 15);
    scanIndex = ReadInt(s, "Scan Time", 3, 0, 7);
    recordIndex = ReadInt(s, "Record Time", 2, 0, kRecordChoices - 1);
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelSettings& c = channels[static_cast<size_t>(i)];
        const auto key = [i](const char* name) { return QString::asprintf(name, i); };
        c.on = ReadBool(s, key("Ch%d-On"), false);
        c.station = ReadInt(s, key("Ch%d-ID"), 0, 0, 255);
        c.address = static_cast<uint16_t>(ReadInt(s, key("Ch%d-Addr"), kNoAddress, 0, 0xFFFF));
        c.addressIndex = ReadInt(s, key("Ch%d-AddrIndex"), 0, 0, 0xFFFF);
        c.offsetIndex = ReadInt(s, key("Ch%d-Offset"), kDefaultOffsetIndex, 0, 16);
        c.divisionIndex = ReadInt(s, key("Ch%d-Div"), kDefaultDivisionIndex, 0, 14);
        c.colour = ReadColour(s, key("Ch%d-Color"), kDefaultLineColours[static_cast<size_t>(i)]);
        c.widthIndex = ReadInt(s, key("Ch%d-Width"), 0, 0, 3);
    }
    background = ReadColour(s, "Background Color", kDefaultBackground);
    text = ReadColour(s, "Text Color", kDefaultText);
    grid = ReadColour(s, "Grid Color", kDefaultGrid);
    cursor = ReadColour(s, "Corsor Color", kDefaultCursor);
    triggerEdge = ReadInt(s, "Trigger Edge", 0, 0, 1);
    triggerChannel = ReadInt(s, "Trigger Channel", 0, 0, 3);
    snapshot = ReadBool(s, "Snap Shot", false);
    triggerLevel = ReadDouble(s, "Trigger Level", 0.0);
    recordPath = s.value("Record Path", QString()).toString();
    snapshotPath = s.value("SnapShot Path", QString()).toString();
    snapshotFormat = ReadInt(s, "SnapShot Filter Index", 3, 1, 3);
    autoScale = ReadBool(s, "Auto Scale", true);
    yMin = ReadDouble(s, "YAxis Min", 0.0);
    yMax = ReadDouble(s, "YAxis Max", 100.0);
    if (yMax < yMin)
        std::swap(yMin, yMax);
    showLegend = ReadBool(s, "Show Legend", true);
    showGrid = ReadBool(s, "Show Grid", true);
    cursorChannel = ReadInt(s, "Current Cursor", 0, 0, 3);
    recordTimeStamps = ReadBool(s, "Record Time Stamps", false);
    secondCursor = ReadBool(s, "Second Cursor", false);
    elapsedAxis = ReadBool(s, "Elapsed Axis", false);
    postTrigger = ReadInt(s, "Post Trigger Samples", kPostTriggerSamples, 1, kMaxPostTriggerSamples);
    preTriggerShare = ReadInt(s, "Pre Trigger Share", 0, 0, 90);
    s.endGroup();

    const bool anyOn =
        std::any_of(channels.begin(), channels.end(), [](const ChannelSettings& c) { return c.on; });
    if (monitorRun && !anyOn) {
        monitorRun = false;
        graphWatch = false;
    }
    if (!monitorRun) {
        recordRun = false;
        triggerRun = false;
    }
    if (!ExistingFile(recordPath))
        recordPath = tempFolder + QStringLiteral("/scope.csv");
    if (!ExistingFile(snapshotPath)) {
        snapshotPath = tempFolder + QStringLiteral("/snapshot.bmp");
        snapshotFormat = 3;
    }
}

void ScopeSettings::Write(QSettings& s) const
{
    s.beginGroup(QStringLiteral("Scope"));
    s.setValue("First", 0);
    s.setValue("Monitor Run", monitorRun ? 1 : 0);
    s.setValue("Record Run", recordRun ? 1 : 0);
    s.setValue("Trigger Run", triggerRun ? 1 : 0);
    s.setValue("Graph Watch Mode", graphWatch ? 1 : 0);
    s.setValue("Time Span", spanIndex);
    s.setValue("Scan Time", scanIndex);
    s.setValue("Record Time", recordIndex);
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelSettings& c = channels[static_cast<size_t>(i)];
        const auto key = [i](const char* name) { return QString::asprintf(name, i); };
        s.setValue(key("Ch%d-On"), c.on ? 1 : 0);
        s.setValue(key("Ch%d-ID"), c.station);
        s.setValue(key("Ch%d-Addr"), static_cast<int>(c.address));
        s.setValue(key("Ch%d-AddrIndex"), c.addressIndex);
        s.setValue(key("Ch%d-Offset"), c.offsetIndex);
        s.setValue(key("Ch%d-Div"), c.divisionIndex);
        s.setValue(key("Ch%d-Color"), ColourToStored(c.colour));
        s.setValue(key("Ch%d-Width"), c.widthIndex);
    }
    s.setValue("Background Color", ColourToStored(background));
    s.setValue("Text Color", ColourToStored(text));
    s.setValue("Grid Color", ColourToStored(grid));
    s.setValue("Corsor Color", ColourToStored(cursor));
    s.setValue("Trigger Edge", triggerEdge);
    s.setValue("Trigger Channel", triggerChannel);
    s.setValue("Snap Shot", snapshot ? 1 : 0);
    s.setValue("Trigger Level", Num(triggerLevel));
    s.setValue("Record Path", recordPath);
    s.setValue("SnapShot Path", snapshotPath);
    s.setValue("SnapShot Filter Index", snapshotFormat);
    s.setValue("Auto Scale", autoScale ? 1 : 0);
    s.setValue("YAxis Min", Num(yMin));
    s.setValue("YAxis Max", Num(yMax));
    s.setValue("Show Legend", showLegend ? 1 : 0);
    s.setValue("Show Grid", showGrid ? 1 : 0);
    s.setValue("Current Cursor", cursorChannel);
    s.setValue("Record Time Stamps", recordTimeStamps ? 1 : 0);
    s.setValue("Second Cursor", secondCursor ? 1 : 0);
    s.setValue("Elapsed Axis", elapsedAxis ? 1 : 0);
    s.setValue("Post Trigger Samples", postTrigger);
    s.setValue("Pre Trigger Share", preTriggerShare);
    s.endGroup();
}

}  // namespace vm::scope
