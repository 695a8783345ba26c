#pragma once
// What the mode setup dialog decides before every parameter editor and when an editor changes its
// mode: the stored choices and their validation, which controls are enabled, the status text, and
// loading the data file for a new offline slot. The dialog only mirrors this state.

#include "catalogue/Models.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QSettings;
class QWidget;

namespace vm {

class ToolHost;

inline constexpr int kMaxOfflineEditors = 32;

enum class ModeUse { NewEditor, Reopen };

// TIME1 list: index 0 "0.01 sec" (100), 1 "0.1 sec" (10), 2 "1 sec" (1).
int Time1FromIndex(int index);
int Time1Index(int time1);
const std::vector<QString>& Time1Texts();

// "Para Mode", "Para TIME1", "Para Model", "Para Version" of section "Main", validated on reading.
struct ModeSettings {
    int mode = 1;
    int time1Index = 1;
    int model = 10;
    int version = 0;

    static ModeSettings Read(QSettings& settings);
    // The mode always; the other three only for a new offline editor.
    void Write(QSettings& settings, bool all) const;
};

// The outcome of "&Setup".
struct ModeChoice {
    int mode = 1;
    int time1 = 10;
};

class ParaModeLogic {
public:
    static constexpr const char* kTemplateCaption = "Parameter Editor Mode Setup";

    ParaModeLogic(ToolHost& host, int station, ModeUse use, const ModeSettings& stored);

    QString Caption() const { return caption_; }
    bool Online() const { return station_ < 256; }
    bool Freq() const { return freq_; }
    int Time1Index() const { return time1Index_; }
    const std::vector<ListEntry>& Models() const { return models_; }
    const std::vector<ListEntry>& Versions() const { return versions_; }
    int ModelIndex() const { return modelIndex_; }
    int VersionIndex() const { return versionIndex_; }
    bool ModelEnabled() const { return modelEnabled_; }
    bool VersionEnabled() const { return versionEnabled_; }
    bool Time1Enabled() const { return time1Enabled_; }
    bool SetupEnabled() const { return setupEnabled_; }
    QString Status() const { return status_; }
    bool StatusIsError() const { return statusError_; }

    void SetFreq(bool freq) { freq_ = freq; }
    void SetTime1Index(int index);
    // Refills the versions and selects the first, for a new offline editor only.
    void SelectModel(int index);
    void SelectVersion(int index);

    // True when the dialog ends with "&Setup". A new offline slot loads its data file here and
    // keeps the dialog open when that fails, with the slot cleared.
    bool Setup();
    ModeChoice Choice() const { return {freq_ ? 1 : 0, Time1FromIndex(time1Index_)}; }
    // Written whichever button closed the dialog.
    void StoreSettings(QSettings& settings) const;

private:
    void FillVersions(int model, int version);
    void SetError(const QString& text);

    ToolHost& host_;
    const int station_;
    const ModeUse use_;
    QString caption_;
    bool freq_ = true;
    int time1Index_ = 1;
    std::vector<ListEntry> models_;
    std::vector<ListEntry> versions_;
    int modelIndex_ = -1;
    int versionIndex_ = -1;
    bool modelEnabled_ = true;
    bool versionEnabled_ = true;
    bool time1Enabled_ = true;
    bool setupEnabled_ = true;
    QString status_;
    bool statusError_ = false;
    bool initialised_ = false;
};

// Runs the dialog (or, in tests, its logic) and returns the choice, or nothing for "&Close".
using ModeRunner =
    std::function<std::optional<ModeChoice>(ToolHost& host, int station, ModeUse use, QWidget* parent)>;

}  // namespace vm
