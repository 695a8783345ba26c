#include "tools/ctl/CtlTransfer.h"

#include "catalogue/Models.h"
#include "catalogue/Registers.h"
#include "paramdb/ParameterData.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace vm::ctl {

namespace {

// Boxes become lines on stderr; questions are answered No.
class StreamMessages final : public MessageSink {
public:
    explicit StreamMessages(std::ostream& err) : err_(err) {}
    void Show(MessageKind, const std::string& text, const std::string&) override { err_ << text << "\n"; }
    bool AskYesNo(const std::string& text, const std::string&) override
    {
        err_ << text << " -> No\n";
        return false;
    }

private:
    std::ostream& err_;
};

std::string Hex(uint16_t address)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", address);
    return text;
}

const char* OperationName(Command c)
{
    return c == Command::Upload ? "upload" : c == Command::Download ? "download" : "compare";
}

}  // namespace

CtlTransfer::CtlTransfer(CommManager& manager, const CtlOptions& options, std::ostream& out,
                         std::ostream& err, bool progress)
    : CtlCommand(manager, options, out, err), progress_(progress)
{
    record_.station = options_.station;
    record_.timeScale = kDefaultTimeScale;
}

CtlTransfer::~CtlTransfer() = default;

void CtlTransfer::Begin()
{
    manager_.QueueRead(record_.station, reg::kModel, this);
    manager_.QueueRead(record_.station, reg::kVersion, this);
}

void CtlTransfer::OnCommReply(int station, const CommReply& reply)
{
    if (Finished() || transfer_ || station != record_.station || !IsFinalError(reply.error))
        return;
    if (reply.error != kNoError) {
        manager_.DropRequests(this);
        PrintError(ReplyErrorText(reply));
        return Finish(kExitCommFailure);
    }
    if (reply.addresses[0] == reg::kModel) {
        record_.model = static_cast<int>(reply.values[0]);
        return;
    }
    record_.version = static_cast<int>(reply.values[0]);
    Identified();
}

Result<TransferSet> CtlTransfer::Prepare(TransferOperation op)
{
    record_.present = 1;
    record_.connected = 1;
    record_.paramData = std::make_shared<ParameterData>();
    if (!record_.paramData->LoadDataFile(record_, options_.dataDir))
        return Failure{kExitUsage, std::string("varimonctl: ") + ModelName(record_.model) + " " +
                                       VersionText(record_.model, record_.version) + ": " +
                                       record_.paramData->StatusText() + " (data folder " + options_.dataDir +
                                       ")"};
    const auto kind = TransferFileKindOf(options_.file);
    if (!kind)
        return Failure{kExitUsage, "varimonctl: " + options_.file + ": use a .par or .usr file"};
    StreamMessages messages(err_);
    Result<TransferSet> set = PrepareTransferSet(op, options_.file, *kind, *record_.paramData, messages);
    if (!set)
        return Failure{kExitUsage, {}};  // its messages are on stderr already
    return set;
}

void CtlTransfer::Identified()
{
    const TransferOperation op = options_.command == Command::Upload     ? TransferOperation::Upload
                                 : options_.command == Command::Download ? TransferOperation::Download
                                                                         : TransferOperation::Compare;
    Result<TransferSet> set = Prepare(op);
    if (!set)
        return Finish(set.Why());

    transfer_ = std::make_unique<ParaTransfer>(manager_, record_);
    if (progress_) {
        transfer_->onProgress = [this](int done, int total) {
            const char* phase = transfer_->GetPhase() == ParaTransfer::Phase::Verify
                                    ? "verify"
                                    : OperationName(options_.command);
            err_ << "\r" << phase << " " << done << "/" << total << "   " << std::flush;
            progressShown_ = true;
        };
    }
    // A drive that gave up answering ends the command; a refused parameter is counted.
    // Refusals are listed without a pause; a pause is a drive that stopped answering, or an
    // interrupt: both end the command.
    transfer_->onPaused = [this](ParaTransfer::PauseReason reason) {
        if (reason == ParaTransfer::PauseReason::DriveRunning) {
            // Nothing is written to a running drive from here: half a parameter set is worse.
            err_ << "varimonctl: the inverter is running and refuses these parameters while it runs:\n";
            for (uint16_t a : transfer_->RunLocked()) {
                const CItem* item = record_.paramData->FindItem(a);
                err_ << Hex(a) << " " << (item ? item->displayName : std::string()) << "\n";
            }
            err_ << "stop it and download again; nothing was written\n";
        }
        transfer_->AnswerStop(true);
    };
    transfer_->onEnded = [this] { Ended(); };
    ParaTransfer::Options o;
    o.verify = options_.verify;
    if (const Result<void> started = transfer_->Start(op, std::move(set).Value(), o); !started)
        return Finish(Failure{kExitCommFailure, "*** " + started.Text() + " ***"});
}

void CtlTransfer::Ended()
{
    if (progressShown_)
        err_ << "\n";
    if (signal_ != 0) {
        const auto written = transfer_->WrittenAddresses();
        err_ << "varimonctl: interrupted; " << OperationName(options_.command) << " stopped after "
             << transfer_->ProgressDone() << " of " << transfer_->ProgressTotal() << " parameters";
        if (options_.command == Command::Download) {
            err_ << "; " << written.size() << " written:";
            for (uint16_t a : written)
                err_ << " " << Hex(a);
        }
        if (options_.command == Command::Upload)
            err_ << "; " << options_.file << " not written";
        err_ << "\n";
        return Finish(128 + signal_);
    }
    if (transfer_->GetEnd() != ParaTransfer::End::Finished) {
        const bool gaveUp = transfer_->GetEnd() == ParaTransfer::End::Stopped && !transfer_->Failed().empty();
        PrintError(gaveUp ? transfer_->ErrorText() : transfer_->FinalStatus());
        if (gaveUp)
            err_ << Hex(transfer_->Failed().back()) << " failed; " << OperationName(options_.command)
                 << " stopped\n";
        return Finish(kExitCommFailure);
    }
    Report();
}

void CtlTransfer::Report()
{
    const ParameterData& data = *record_.paramData;
    auto name = [&](uint16_t a) {
        const CItem* item = data.FindItem(a);
        return item ? item->displayName : std::string();
    };
    int code = kExitOk;
    QJsonArray failed;
    const auto& refused = transfer_->Refused();
    for (uint16_t a : transfer_->Failed()) {
        failed.append(a);
        const auto r = std::find_if(refused.begin(), refused.end(),
                                    [a](const RefusedParameter& p) { return p.address == a; });
        if (r != refused.end())
            err_ << Hex(a) << " " << name(a) << ": refused, " << r->reason << "\n";
        else if (options_.command != Command::Compare)
            err_ << Hex(a) << " " << name(a) << " failed\n";
    }
    if (!transfer_->Failed().empty())
        code = kExitCommFailure;
    QJsonObject summary{{"station", record_.station},
                        {"operation", OperationName(options_.command)},
                        {"file", QString::fromStdString(options_.file)},
                        {"failed", failed}};
    switch (options_.command) {
    case Command::Upload: {
        if (!transfer_->Failed().empty()) {
            err_ << transfer_->Failed().size() << " parameters could not be read; " << options_.file
                 << " not saved\n";
            break;
        }
        StreamMessages messages(err_);
        if (!transfer_->SaveUpload(options_.file, messages).Ok()) {
            code = kExitCommFailure;
            break;
        }
        summary.insert("parameters", static_cast<int>(transfer_->Set().Count()));
        EmitLine("uploaded " + std::to_string(transfer_->Set().Count()) + " parameters to " + options_.file,
                 Compact(summary));
        break;
    }
    case Command::Download: {
        QJsonArray mismatches;
        for (const VerifyMismatch& m : transfer_->Mismatches()) {
            const std::string read = m.readFailed ? "FAILED" : std::to_string(m.readBack);
            EmitLine(Hex(m.address) + " " + m.name + " " + std::to_string(m.written & 0xFFFF) + " " + read,
                     Compact(QJsonObject{
                         {"address", m.address},
                         {"name", QString::fromStdString(m.name)},
                         {"written", static_cast<int>(m.written & 0xFFFF)},
                         {"read", m.readFailed ? QJsonValue() : QJsonValue(static_cast<int>(m.readBack))}}));
            mismatches.append(m.address);
        }
        if (!transfer_->Mismatches().empty() && code == kExitOk)
            code = kExitDifferent;
        summary.insert("written", static_cast<int>(transfer_->WrittenCount()));
        summary.insert("skipped", static_cast<int>(transfer_->SkippedCount()));
        if (options_.verify)
            summary.insert("mismatches", mismatches);
        // The refusals are on stderr already: the summary keeps to its one line.
        const std::string status = transfer_->FinalStatus();
        EmitLine(status.substr(0, status.find('\n')) + ": " + std::to_string(transfer_->WrittenCount()) +
                     " written, " + std::to_string(transfer_->SkippedCount()) + " skipped",
                 Compact(summary));
        break;
    }
    default: {
        int differences = 0;
        for (const CompareRow& r : transfer_->Differences()) {
            const std::string drive = r.failed ? "FAILED" : std::to_string(r.driveValue & 0xFFFF);
            EmitLine(
                Hex(r.address) + " " + r.name + " " + drive + " " + std::to_string(r.fileValue & 0xFFFF),
                Compact(QJsonObject{
                    {"address", r.address},
                    {"name", QString::fromStdString(r.name)},
                    {"drive", r.failed ? QJsonValue() : QJsonValue(static_cast<int>(r.driveValue & 0xFFFF))},
                    {"file", static_cast<int>(r.fileValue & 0xFFFF)},
                    {"driveText", QString::fromStdString(r.driveText)},
                    {"fileText", QString::fromStdString(r.fileText)},
                    {"unit", QString::fromStdString(r.unit)}}));
            if (!r.failed)
                ++differences;
        }
        if (differences > 0 && code == kExitOk)
            code = kExitDifferent;
        if (options_.json)
            EmitLine({}, Compact(summary));
        break;
    }
    }
    Finish(code);
}

void CtlTransfer::Interrupt(int signal)
{
    if (Finished() || signal_ != 0)
        return;
    signal_ = signal;
    if (transfer_ && transfer_->IsRunning()) {
        // Ends now, or with the reply of the request already on the line (onPaused answers).
        transfer_->RequestStop();
        return;
    }
    manager_.DropRequests(this);
    err_ << "varimonctl: interrupted before the transfer began\n";
    Finish(128 + signal);
}

}  // namespace vm::ctl
