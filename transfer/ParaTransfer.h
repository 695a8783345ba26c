#pragma once
// Upload, download and compare between a drive and a parameter or user group file, one request at
// a time on the communication manager. No widgets: the transfer dialog and varimonctl both drive
// it. It never asks the user anything itself; when it needs an answer (stop after a failure, or
// after Cancel) it pauses, tells its owner through onPaused, and waits for AnswerStop(), which the
// owner must call after the reply callback has returned (a box inside it would re-enter the tick).

#include "base/Result.h"
#include "comm/CommManager.h"
#include "paramdb/MessageSink.h"
#include "paramdb/ParaArray.h"
#include "paramdb/UserGroup.h"
#include "transfer/ProgressPlan.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vm {

class CItem;
class ParameterData;
struct StationRecord;

enum class TransferOperation { Upload = 0, Download = 1, Compare = 2 };
enum class TransferFileKind { Parameter = 1, UserGroup = 2 };

// The codes of the transfer's failures.
enum TransferFailure : int {
    kTransferNotReady = 1,  // a transfer runs already, or there is nothing to move or save
    kTransferDisconnected,  // the station left the line
    kTransferNoDataFile,    // the station has no parameter data
    kTransferFileFailed,    // the file could not be read or written
    kTransferRefused,       // the file's model, version or entries were refused
};

namespace transfer_text {
inline constexpr const char* kCaption = "Parameter Editor";
inline constexpr const char* kDisconnected = "Selected Inverter is disconnected";
inline constexpr const char* kNoDataFile =
    "There is no data file corresponding to inverter model and version";
inline constexpr const char* kUndefinedError = "Undefined Error";
inline constexpr const char* kStopQuestion = "Do you want to stop ?";
inline constexpr const char* kRetrying = "%dth Retrying...";
inline constexpr const char* kUploadFinished = "Upload action is finished";
inline constexpr const char* kDownloadFinished = "Download action is finished";
inline constexpr const char* kCompareFinished = "Compare action is finished";
inline constexpr const char* kAllSame = "All parameter data is the same";
inline constexpr const char* kOpenParFailed = "Fail to open parameter file";
inline constexpr const char* kOpenUsrFailed = "Fail to open user group file";
inline constexpr const char* kSaveParFailed = "Fail to save parameter file";
inline constexpr const char* kSaveUsrFailed = "Fail to save user group file";
inline constexpr const char* kCommError = "[%s] %d : %s\nCommunication error is occured\n\n*** %s ***";
// Texts of the mended cases.
inline constexpr const char* kIncompleteQuestion =
    "%d parameters could not be read from the inverter.\nTheir values in the file would not be the "
    "inverter's.\n\n"
    "Do you want to save the incomplete file ?";
inline constexpr const char* kLeadingFailed =
    "[%s] %d : %s must be written first and could not be written.\nThe download is stopped; no other "
    "parameter "
    "was written.";
inline constexpr const char* kBackupIncomplete =
    "The inverter's parameters could not all be read for the backup.\nThe download is stopped; nothing was "
    "written.";
inline constexpr const char* kRunLockedReason = "not writable while the inverter runs";
inline constexpr const char* kRunningQuestion =
    "The inverter is running. It refuses these parameters while it runs:\n%s\nDo you want to write the "
    "others ?";
inline constexpr const char* kBackupSaveFailed =
    "Fail to save the backup file.\nThe download is stopped; nothing was written.";
}  // namespace transfer_text

// The address written before all others in a download, when the data file has one: the maximum
// output frequency or speed, which bounds the other frequency parameters.
std::optional<uint16_t> LeadingParameter(const ParameterData& data);

// ".par" or ".usr" in any letter case; nothing for any other name.
std::optional<TransferFileKind> TransferFileKindOf(const std::string& path);

// What a transfer moves: (address, value) pairs and, for a user group file, the group whose
// entries run parallel to the pairs.
struct TransferSet {
    std::unique_ptr<CParaArray> pairs;
    std::unique_ptr<CCustom> group;

    bool IsUserGroup() const { return group != nullptr; }
    size_t Count() const { return pairs ? pairs->Count() : 0; }
};

// Builds the set of an operation: upload to a parameter file takes every item of the data; any
// other case loads the file. Refusals and file errors are shown through messages (error boxes,
// and the user group's version question) before the failure returns.
Result<TransferSet> PrepareTransferSet(TransferOperation operation, const std::string& path,
                                       TransferFileKind kind, ParameterData& data, MessageSink& messages);

// One difference of a compare: the drive's value against the file's, or a parameter that could
// not be read (failed).
struct CompareRow {
    uint16_t address = 0;
    std::string group;
    int code = 0;
    std::string name;
    std::string driveText;
    std::string fileText;
    std::string unit;
    uint32_t driveValue = 0;
    uint32_t fileValue = 0;
    bool failed = false;
};

// A parameter the drive answered with a refusal (out of range, not writable now, an exception):
// listed, and the transfer carries on with the others.
struct RefusedParameter {
    uint16_t address = 0;
    std::string name;
    std::string reason;
};

// True when the drive itself answered the request with a refusal, as against a line that failed.
bool IsRefusal(const CommReply& reply);

// Registers hold 16 bits: a file's sign-extended -50 and the drive's 0xFFCE are one value.
inline bool SameRegisterValue(uint32_t a, uint32_t b)
{
    return (a & 0xFFFF) == (b & 0xFFFF);
}

// A written parameter that read back otherwise.
struct VerifyMismatch {
    uint16_t address = 0;
    std::string name;
    uint32_t written = 0;
    uint32_t readBack = 0;
    bool readFailed = false;
};

class ParaTransfer : public CommClient {
public:
    enum class State { Idle, Running, Paused, Stopping, Ended };
    enum class End { None, Finished, Stopped, Error };
    enum class Phase { None, RunCheck, Backup, Leading, Transfer, Verify };
    // DriveRunning: before the first write of a download, the drive runs and would refuse the
    // parameters of RunLocked(); AnswerStop(false) writes the others.
    enum class PauseReason { Failure, Cancel, DriveRunning };

    struct Options {
        bool verify = false;     // download: read back every written parameter
        std::string backupPath;  // download: save the drive's values here before the first write
    };

    // The record is the station's (its parameter data, present flag); it must outlive the transfer.
    ParaTransfer(CommManager& comm, const StationRecord& record);
    ~ParaTransfer() override;

    // Takes the set and starts; fails when the connection check does (ErrorText says the same).
    Result<void> Start(TransferOperation operation, TransferSet set, const Options& options);
    Result<void> Start(TransferOperation operation, TransferSet set)
    {
        return Start(operation, std::move(set), Options());
    }
    // Cancel pressed while running: pauses (no new request) and tells onPaused(Cancel).
    void RequestStop();
    // The answer to "Do you want to stop ?". Yes ends the transfer (a request already on the line
    // is waited for); No carries on with the next parameter.
    void AnswerStop(bool stop);

    // Upload: stores the read values in the set and saves it. A failure has been shown through
    // messages too.
    Result<void> SaveUpload(const std::string& path, MessageSink& messages);

    State GetState() const { return state_; }
    bool IsRunning() const
    {
        return state_ == State::Running || state_ == State::Paused || state_ == State::Stopping;
    }
    End GetEnd() const { return end_; }
    Phase GetPhase() const { return phase_; }
    TransferOperation Operation() const { return operation_; }
    const std::string& ErrorText() const { return errorText_; }
    // The error of the last failed request: give-up (100) or a drive's exception.
    int LastErrorCode() const { return lastErrorCode_; }
    // The status line after the end.
    std::string FinalStatus() const;
    const TransferSet& Set() const { return set_; }

    // Addresses whose request failed finally (refused, or the user chose to go on).
    const std::vector<uint16_t>& Failed() const { return failed_; }
    // Download to a running drive: the parameters it refuses while it runs, in set order.
    const std::vector<uint16_t>& RunLocked() const { return runLocked_; }
    // The refusals among them, in the order met, with the drive's reason.
    const std::vector<RefusedParameter>& Refused() const { return refused_; }
    // Compare, in set order: differences and parameters that could not be read.
    const std::vector<CompareRow>& Differences() const { return differences_; }
    const std::vector<VerifyMismatch>& Mismatches() const { return mismatches_; }
    size_t WrittenCount() const { return written_.size(); }
    // Written and acknowledged, in the order written.
    std::vector<uint16_t> WrittenAddresses() const
    {
        std::vector<uint16_t> out;
        for (const Step& s : written_)
            out.push_back(s.address);
        return out;
    }
    size_t SkippedCount() const { return skipped_; }
    int ProgressDone() const { return done_; }
    int ProgressTotal() const { return total_; }
    // The whole run's progress in percent: run check, backup, leading write, the transfer and the
    // verification as consecutive shares, each by its number of requests.
    int OverallPercent() const { return plan_.Percent(); }

    std::function<void(const std::string&)> onStatus;
    // Progress within the current phase.
    std::function<void(int done, int total)> onProgress;
    // Progress of the whole run, when it changes.
    std::function<void(int percent)> onOverallProgress;
    // Called inside the reply callback: the owner asks later and calls AnswerStop.
    std::function<void(PauseReason)> onPaused;
    // The transfer has ended (GetEnd() says how).
    std::function<void()> onEnded;

    void OnCommReply(int station, const CommReply& reply) override;

private:
    struct Step {
        char command = 'R';
        uint16_t address = 0;
        uint32_t value = 0;
        size_t index = 0;  // into the set (Transfer, Leading), or into backup_ (Backup)
    };

    Result<void> Connection();
    void Next();
    bool BuildSteps(Phase phase);
    // Steps from steps_[from] one request may read: consecutive addresses of one group while
    // the station takes block reads, else 1.
    size_t ReadRun(size_t from) const;
    void Issue(const Step& step, size_t run);
    void Succeeded(const Step& step, uint32_t readValue);
    void FailedFinally(const Step& step, const CommReply& reply);
    void CheckRunState(uint32_t status);
    void FinishPhase();
    void EndWith(End end, const std::string& text = {});
    void Status(const std::string& text);
    CItem* ItemOf(uint16_t address) const;
    CCustom::Entry* EntryOf(const Step& step) const;
    void BuildDifferences();
    void PlanProgress();
    void OverallChanged(int before);

    CommManager& comm_;
    const StationRecord& record_;
    TransferOperation operation_ = TransferOperation::Upload;
    Options options_;
    TransferSet set_;
    State state_ = State::Idle;
    End end_ = End::None;
    Phase phase_ = Phase::None;
    std::vector<Step> steps_;
    size_t next_ = 0;
    std::optional<Step> inFlight_;
    size_t inFlightRun_ = 1;  // steps the request in flight reads, from inFlight_ on
    bool stopRequested_ = false;
    std::optional<size_t> leadingIndex_;
    std::unique_ptr<CParaArray> backup_;
    std::vector<uint16_t> failed_;
    std::vector<RefusedParameter> refused_;
    std::vector<uint16_t> runLocked_;
    bool skipRunLocked_ = false;
    std::vector<Step> written_;
    std::vector<CompareRow> differences_;
    std::vector<VerifyMismatch> mismatches_;
    size_t skipped_ = 0;
    int done_ = 0;
    int total_ = 0;
    ProgressPlan plan_;
    std::array<int, 6> shareOf_{};  // the plan's share of each phase, -1 when it has none
    std::string errorText_;
    int lastErrorCode_ = kNoError;
};

}  // namespace vm
