#include "transfer/ParaTransfer.h"

#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"
#include "paramdb/ObjectArchive.h"
#include "paramdb/ParameterData.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vm {

namespace {

// printf-style formatting of the fixed texts.
template <typename... Args>
std::string Format(const char* pattern, Args... args)
{
    const int n = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string GroupName(const CItem& item)
{
    return item.Group() ? item.Group()->name : std::string();
}

}  // namespace

std::optional<uint16_t> LeadingParameter(const ParameterData& data)
{
    // Named "Max @@@@" (Max Freq / Max Rpm), or "Max Speed" in a file without mode names.
    for (const auto& group : data.Groups())
        for (const auto& item : group->items)
            if (item->name == "Max @@@@" || item->name == "Max Speed")
                return static_cast<uint16_t>(item->address);
    return std::nullopt;
}

bool IsRefusal(const CommReply& reply)
{
    if (IsModbusException(reply.error))
        return true;
    if (reply.error != kGiveUp)
        return false;
    // A KX485 drive's NAK carries its reason; silence and garbled frames are the line's.
    switch (reply.lastError) {
    case kNakError:
    case kIllegalFunction:
    case kAddressRangeError:
    case kDataRangeError:
    case kWriteModeError:
    case kSlaveDeviceError:
    case kModbusExceptionCode:
        return true;
    default:
        return false;
    }
}

std::optional<TransferFileKind> TransferFileKindOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return std::nullopt;
    const std::string ext = Lower(name.substr(dot + 1));
    if (ext == "par")
        return TransferFileKind::Parameter;
    if (ext == "usr")
        return TransferFileKind::UserGroup;
    return std::nullopt;
}

Result<TransferSet> PrepareTransferSet(TransferOperation operation, const std::string& path,
                                       TransferFileKind kind, ParameterData& data, MessageSink& messages)
{
    using namespace transfer_text;
    TransferSet set;
    auto pairs = std::make_unique<CParaArray>(data.Model(), data.Version());
    if (kind == TransferFileKind::Parameter) {
        if (operation == TransferOperation::Upload) {
            pairs->AppendItems(data);
        } else {
            ArchiveFile file(&messages);
            file.SetCaption(kCaption);
            file.Attach(path, pairs.get());
            if (!file.Load(true)) {
                // Another model or version has been refused with its own message.
                if (file.Failure() == ArchiveFailure::Aborted)
                    return Failure{kTransferRefused, kOpenParFailed};
                messages.Show(MessageKind::Error, kOpenParFailed, kCaption);
                return Failure{kTransferFileFailed, kOpenParFailed};
            }
        }
        set.pairs = std::move(pairs);
        return set;
    }
    auto group = std::make_unique<CCustom>(&data, data.Model(), data.Version());
    ArchiveFile file(&messages);
    file.SetCaption(kCaption);
    file.Attach(path, group.get());
    if (!file.Load(true)) {
        messages.Show(MessageKind::Error, kOpenUsrFailed, kCaption);
        return Failure{kTransferFileFailed, kOpenUsrFailed};
    }
    if (!group->AcceptForTransfer(messages, kCaption))
        return Failure{kTransferRefused, kOpenUsrFailed};
    group->SetPath(path);
    group->SetUntitled(false);
    group->BindEntries();
    for (size_t i = 0; i < group->Count(); ++i)
        pairs->Append(group->EntryAt(i)->address, group->EntryAt(i)->value);
    set.pairs = std::move(pairs);
    set.group = std::move(group);
    return set;
}

ParaTransfer::ParaTransfer(CommManager& comm, const StationRecord& record) : comm_(comm), record_(record)
{}

ParaTransfer::~ParaTransfer()
{
    comm_.DropRequests(this);
}

Result<void> ParaTransfer::Connection()
{
    if (!record_.present) {
        errorText_ = transfer_text::kDisconnected;
        return Failure{kTransferDisconnected, errorText_};
    }
    if (!record_.paramData || !record_.paramData->IsLoaded()) {
        errorText_ = transfer_text::kNoDataFile;
        return Failure{kTransferNoDataFile, errorText_};
    }
    return {};
}

CItem* ParaTransfer::ItemOf(uint16_t address) const
{
    return record_.paramData ? record_.paramData->FindItem(address) : nullptr;
}

CCustom::Entry* ParaTransfer::EntryOf(const Step& step) const
{
    if (!set_.group || phase_ == Phase::Backup || phase_ == Phase::Verify)
        return nullptr;
    return set_.group->EntryAt(step.index);
}

Result<void> ParaTransfer::Start(TransferOperation operation, TransferSet set, const Options& options)
{
    if (IsRunning() || !set.pairs)
        return Failure{kTransferNotReady, IsRunning() ? "A transfer is running" : "Nothing to transfer"};
    operation_ = operation;
    options_ = options;
    set_ = std::move(set);
    end_ = End::None;
    errorText_.clear();
    failed_.clear();
    refused_.clear();
    runLocked_.clear();
    skipRunLocked_ = false;
    written_.clear();
    differences_.clear();
    mismatches_.clear();
    skipped_ = 0;
    stopRequested_ = false;
    inFlight_.reset();
    leadingIndex_.reset();
    backup_.reset();
    if (Result<void> connection = Connection(); !connection) {
        state_ = State::Ended;
        end_ = End::Error;
        return connection;
    }
    state_ = State::Running;
    Phase first = Phase::Transfer;
    if (operation_ == TransferOperation::Download) {
        // The leading parameter bounds others (the maximum frequency): it goes first.
        if (auto lead = LeadingParameter(*record_.paramData)) {
            for (size_t i = 0; i < set_.pairs->Count(); ++i) {
                if (set_.pairs->AddressAt(i) != *lead)
                    continue;
                const CItem* item = ItemOf(*lead);
                if (item && item->writable)
                    leadingIndex_ = i;
                break;
            }
        }
        // Nothing is written before the drive's run state is known.
        first = Phase::RunCheck;
    }
    PlanProgress();
    BuildSteps(first);
    Next();
    return {};
}

bool ParaTransfer::BuildSteps(Phase phase)
{
    phase_ = phase;
    steps_.clear();
    next_ = 0;
    const bool download = operation_ == TransferOperation::Download;
    switch (phase) {
    case Phase::RunCheck:
        steps_.push_back({'R', reg::kStatus, 0, 0});
        break;
    case Phase::Backup:
        backup_ = std::make_unique<CParaArray>(record_.paramData->Model(), record_.paramData->Version());
        backup_->AppendItems(*record_.paramData);
        for (size_t i = 0; i < backup_->Count(); ++i)
            steps_.push_back({'R', static_cast<uint16_t>(backup_->AddressAt(i)), 0, i});
        break;
    case Phase::Leading:
        steps_.push_back({'W', static_cast<uint16_t>(set_.pairs->AddressAt(*leadingIndex_)),
                          set_.pairs->ValueAt(*leadingIndex_), *leadingIndex_});
        break;
    case Phase::Transfer:
        for (size_t i = 0; i < set_.pairs->Count(); ++i) {
            const uint16_t address = static_cast<uint16_t>(set_.pairs->AddressAt(i));
            const CItem* item = ItemOf(address);
            if (download && item && item->writable && skipRunLocked_ && !item->runWritable) {
                failed_.push_back(address);
                refused_.push_back({address, item->displayName, transfer_text::kRunLockedReason});
                continue;
            }
            if (!item || (download && (!item->writable || leadingIndex_ == i))) {
                if (!(download && leadingIndex_ == i))
                    ++skipped_;
                continue;
            }
            steps_.push_back({download ? 'W' : 'R', address, set_.pairs->ValueAt(i), i});
        }
        break;
    case Phase::Verify:
        for (const Step& w : written_)
            steps_.push_back({'R', w.address, w.value, w.index});
        break;
    case Phase::None:
        break;
    }
    done_ = 0;
    total_ = static_cast<int>(steps_.size());
    const int before = plan_.Percent();
    plan_.Begin(shareOf_[static_cast<size_t>(phase)], total_);
    if (onProgress)
        onProgress(done_, total_);
    OverallChanged(before);
    return !steps_.empty();
}

void ParaTransfer::PlanProgress()
{
    // Estimates that are never below the counts to come: the transfer takes at most every pair
    // and the verification at most every write, so the bar only ever moves forward.
    plan_.Reset();
    shareOf_.fill(-1);
    const auto add = [this](Phase phase, size_t count) {
        shareOf_[static_cast<size_t>(phase)] = plan_.Add(static_cast<int>(count));
    };
    const bool download = operation_ == TransferOperation::Download;
    if (download)
        add(Phase::RunCheck, 1);
    if (download && !options_.backupPath.empty())
        add(Phase::Backup, record_.paramData->TotalItemCount());
    if (download && leadingIndex_)
        add(Phase::Leading, 1);
    add(Phase::Transfer, set_.pairs->Count());
    if (download && options_.verify)
        add(Phase::Verify, set_.pairs->Count());
    if (onOverallProgress)
        onOverallProgress(plan_.Percent());
}

void ParaTransfer::OverallChanged(int before)
{
    if (plan_.Percent() != before && onOverallProgress)
        onOverallProgress(plan_.Percent());
}

void ParaTransfer::Next()
{
    if (state_ != State::Running || inFlight_ || stopRequested_)
        return;
    if (!Connection())
        return EndWith(End::Error);
    if (next_ >= steps_.size())
        return FinishPhase();
    const size_t run = ReadRun(next_);
    Issue(steps_[next_], run);
    next_ += run;
}

size_t ParaTransfer::ReadRun(size_t from) const
{
    if (phase_ == Phase::RunCheck || comm_.BlockReads(record_.station) != BlockReadUse::On)
        return 1;
    size_t run = 1;
    while (from + run < steps_.size() && run < static_cast<size_t>(kMaxReplyValues)) {
        const Step& previous = steps_[from + run - 1];
        const Step& step = steps_[from + run];
        // A group's parameters share the high byte; the drive need not hold the gap between groups.
        if (previous.command != 'R' || step.command != 'R' || step.address != previous.address + 1 ||
            (step.address >> 8) != (previous.address >> 8))
            break;
        ++run;
    }
    return run;
}

void ParaTransfer::Issue(const Step& step, size_t run)
{
    inFlight_ = step;
    inFlightRun_ = run;
    if (const CItem* item = ItemOf(step.address)) {
        const char* prefix = phase_ == Phase::Backup ? "Backup " : phase_ == Phase::Verify ? "Verify " : "";
        Status(Format("%s[%s] %d : %s", prefix, GroupName(*item).c_str(), step.address & 0xFF,
                      item->displayName.c_str()));
    }
    if (phase_ != Phase::Leading) {
        ++done_;
        if (onProgress)
            onProgress(done_, total_);
    }
    const int before = plan_.Percent();
    plan_.Step();
    OverallChanged(before);
    if (step.command == 'W')
        comm_.QueueWrite(record_.station, step.address, step.value, this);
    else if (run > 1)
        comm_.QueueBlockRead(record_.station, step.address, static_cast<int>(run), this);
    else
        comm_.QueueRead(record_.station, step.address, this);
}

void ParaTransfer::OnCommReply(int station, const CommReply& reply)
{
    // Only the answer to the request in flight counts: a stale reply of another run, command or
    // address is no answer to it.
    if (!inFlight_ || station != record_.station || reply.command != inFlight_->command ||
        static_cast<uint16_t>(reply.addresses[0]) != inFlight_->address)
        return;
    if (!IsFinalError(reply.error)) {
        Status(Format(transfer_text::kRetrying, reply.retries));
        return;
    }
    const Step step = *inFlight_;
    const size_t first = next_ - inFlightRun_;
    inFlight_.reset();
    // A block read may have been cut to the station's maximum, or sent as a single read after
    // the station refused one: the steps it did not read go out again.
    size_t answered = 1;
    if (reply.error == kNoError) {
        answered = std::clamp<size_t>(static_cast<size_t>(reply.count), 1, inFlightRun_);
        for (size_t i = 0; i < answered; ++i)
            Succeeded(steps_[first + i], step.command == 'W' ? step.value : reply.values[i]);
    } else {
        FailedFinally(step, reply);
    }
    next_ = first + answered;
    if (answered > 1 && phase_ != Phase::Leading) {
        done_ += static_cast<int>(answered) - 1;
        if (onProgress)
            onProgress(done_, total_);
        const int before = plan_.Percent();
        plan_.Step(static_cast<int>(answered) - 1);
        OverallChanged(before);
    }
    if (state_ == State::Stopping)
        return EndWith(End::Stopped);
    Next();
}

void ParaTransfer::Succeeded(const Step& step, uint32_t value)
{
    if (phase_ == Phase::RunCheck)
        return CheckRunState(value);
    CItem* item = ItemOf(step.address);
    if (phase_ == Phase::Backup)
        backup_->SetValueAt(step.index, value);
    if (phase_ == Phase::Verify && !SameRegisterValue(value, step.value))
        mismatches_.push_back(
            {step.address, item ? item->displayName : std::string(), step.value, value, false});
    if (item) {
        item->value = value;
        item->valueStatus = 1;
    }
    if (CCustom::Entry* entry = EntryOf(step)) {
        entry->valueStatus = 1;
        entry->value = value;
    }
    if (step.command == 'W')
        written_.push_back(step);
}

void ParaTransfer::CheckRunState(uint32_t status)
{
    if (status & reg::kStatusStop)
        return;
    for (size_t i = 0; i < set_.pairs->Count(); ++i) {
        const CItem* item = ItemOf(static_cast<uint16_t>(set_.pairs->AddressAt(i)));
        if (item && item->writable && !item->runWritable)
            runLocked_.push_back(static_cast<uint16_t>(item->address));
    }
    if (runLocked_.empty() || state_ != State::Running)
        return;
    stopRequested_ = true;
    state_ = State::Paused;
    if (onPaused)
        onPaused(PauseReason::DriveRunning);
}

void ParaTransfer::FailedFinally(const Step& step, const CommReply& reply)
{
    const int code = reply.error == kGiveUp ? reply.lastError : reply.error;
    lastErrorCode_ = reply.error;
    errorText_ = CommManager::ErrorText(code);
    if (phase_ == Phase::RunCheck)
        return EndWith(End::Error,
                       std::string(transfer_text::kDisconnected) + "\n\n*** " + errorText_ + " ***");
    CItem* item = ItemOf(step.address);
    // The value stays what it was, marked failed: it is not the drive's.
    if (item)
        item->valueStatus = 2;
    if (CCustom::Entry* entry = EntryOf(step))
        entry->valueStatus = 2;
    if (item)
        Status(Format("[%s] %d : %s *** %s ***", GroupName(*item).c_str(), step.address & 0xFF,
                      item->displayName.c_str(), errorText_.c_str()));
    if (phase_ == Phase::Verify) {
        mismatches_.push_back({step.address, item ? item->displayName : std::string(), step.value, 0, true});
    } else {
        failed_.push_back(step.address);
    }
    if (phase_ == Phase::Leading) {
        // Writing the rest under the old bound would be refused or clipped by the drive.
        const std::string text = Format(transfer_text::kLeadingFailed, item ? GroupName(*item).c_str() : "",
                                        step.address & 0xFF, item ? item->displayName.c_str() : "");
        return EndWith(End::Error, text + "\n\n*** " + errorText_ + " ***");
    }
    if (IsRefusal(reply) && phase_ == Phase::Transfer) {
        refused_.push_back({step.address, item ? item->displayName : std::string(), errorText_});
        return;
    }
    if (state_ == State::Running) {
        stopRequested_ = true;
        state_ = State::Paused;
        if (onPaused)
            onPaused(PauseReason::Failure);
    }
}

void ParaTransfer::RequestStop()
{
    if (state_ != State::Running)
        return;
    stopRequested_ = true;
    state_ = State::Paused;
    if (onPaused)
        onPaused(PauseReason::Cancel);
}

void ParaTransfer::AnswerStop(bool stop)
{
    if (state_ != State::Paused)
        return;
    if (stop) {
        comm_.DropRequests(this);
        if (inFlight_ && comm_.HasRequestOnLine(this)) {
            // What the drive answers to the request on the line still counts.
            state_ = State::Stopping;
            return;
        }
        inFlight_.reset();
        return EndWith(End::Stopped);
    }
    stopRequested_ = false;
    state_ = State::Running;
    if (phase_ == Phase::RunCheck && !runLocked_.empty()) {
        skipRunLocked_ = true;
        if (leadingIndex_) {
            const CItem* lead = ItemOf(static_cast<uint16_t>(set_.pairs->AddressAt(*leadingIndex_)));
            if (lead && !lead->runWritable)
                leadingIndex_.reset();  // refused with the others
        }
    }
    Next();
}

void ParaTransfer::FinishPhase()
{
    using namespace transfer_text;
    switch (phase_) {
    case Phase::RunCheck:
        BuildSteps(!options_.backupPath.empty() ? Phase::Backup
                   : leadingIndex_              ? Phase::Leading
                                                : Phase::Transfer);
        return Next();
    case Phase::Backup: {
        if (!failed_.empty())
            return EndWith(End::Error, kBackupIncomplete);
        ArchiveFile file;
        file.Attach(options_.backupPath, backup_.get());
        if (!file.Save(false))
            return EndWith(End::Error, std::string(kBackupSaveFailed) + "\n\n" + file.FailureText());
        BuildSteps(leadingIndex_ ? Phase::Leading : Phase::Transfer);
        return Next();
    }
    case Phase::Leading:
        BuildSteps(Phase::Transfer);
        return Next();
    case Phase::Transfer:
        if (operation_ == TransferOperation::Download && options_.verify && !written_.empty()) {
            BuildSteps(Phase::Verify);
            return Next();
        }
        if (operation_ != TransferOperation::Download && !Connection())
            return EndWith(End::Error);
        return EndWith(End::Finished);
    case Phase::Verify:
    case Phase::None:
        return EndWith(End::Finished);
    }
}

void ParaTransfer::BuildDifferences()
{
    differences_.clear();
    for (size_t i = 0; i < set_.pairs->Count(); ++i) {
        const uint16_t address = static_cast<uint16_t>(set_.pairs->AddressAt(i));
        const CItem* item = ItemOf(address);
        if (!item)
            continue;
        const uint32_t fileValue = set_.pairs->ValueAt(i);
        const bool failed = std::find(failed_.begin(), failed_.end(), address) != failed_.end();
        if (!failed && SameRegisterValue(item->value, fileValue))
            continue;
        CompareRow row;
        row.address = address;
        row.group = GroupName(*item);
        row.code = address & 0xFF;
        row.name = item->displayName;
        row.driveText = failed ? std::string() : item->ValueText(item->value, false);
        row.fileText = item->ValueText(fileValue, true);  // a failed row still shows what the file holds
        row.unit = item->UnitText();
        row.driveValue = item->value;
        row.fileValue = fileValue;
        row.failed = failed;
        differences_.push_back(std::move(row));
    }
}

void ParaTransfer::EndWith(End end, const std::string& text)
{
    state_ = State::Ended;
    end_ = end;
    stopRequested_ = false;
    if (!text.empty())
        errorText_ = text;
    if (end == End::Finished && operation_ == TransferOperation::Compare)
        BuildDifferences();
    if (end == End::Finished) {
        const int before = plan_.Percent();
        plan_.Finish();
        OverallChanged(before);
    }
    Status(FinalStatus());
    if (onEnded)
        onEnded();
}

std::string ParaTransfer::FinalStatus() const
{
    using namespace transfer_text;
    switch (end_) {
    case End::None:
        return {};
    case End::Error:
        return errorText_;
    case End::Stopped:
        return "Action is stopped";
    case End::Finished:
        break;
    }
    std::string text;
    switch (operation_) {
    case TransferOperation::Upload:
        text = kUploadFinished;
        break;
    case TransferOperation::Download:
        text = kDownloadFinished;
        break;
    case TransferOperation::Compare:
        text = kCompareFinished;
        break;
    }
    if (!failed_.empty())
        text += Format(", %d parameters failed", static_cast<int>(failed_.size()));
    if (options_.verify && operation_ == TransferOperation::Download)
        text += mismatches_.empty() ? ", verified"
                                    : Format(", %d parameters differ after verification",
                                             static_cast<int>(mismatches_.size()));
    for (const RefusedParameter& r : refused_)
        text += Format("\n0x%04X %s: refused, %s", r.address, r.name.c_str(), r.reason.c_str());
    return text;
}

Result<void> ParaTransfer::SaveUpload(const std::string& path, MessageSink& messages)
{
    using namespace transfer_text;
    if (!set_.pairs)
        return Failure{kTransferNotReady, "Nothing to save"};
    ArchiveFile file(&messages);
    file.SetCaption(kCaption);
    if (set_.group) {
        file.Attach(path, set_.group.get());
        if (!file.Save(true)) {
            messages.Show(MessageKind::Error, kSaveUsrFailed, kCaption);
            return Failure{kTransferFileFailed, kSaveUsrFailed};
        }
        set_.group->SetModified(false);
        return {};
    }
    for (size_t i = 0; i < set_.pairs->Count(); ++i)
        if (const CItem* item = ItemOf(static_cast<uint16_t>(set_.pairs->AddressAt(i))))
            set_.pairs->SetValueAt(i, item->value);
    file.Attach(path, set_.pairs.get());
    if (!file.Save(true)) {
        messages.Show(MessageKind::Error, kSaveParFailed, kCaption);
        return Failure{kTransferFileFailed, kSaveParFailed};
    }
    return {};
}

void ParaTransfer::Status(const std::string& text)
{
    if (onStatus)
        onStatus(text);
}

}  // namespace vm
