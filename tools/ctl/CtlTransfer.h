#pragma once
// varimonctl's upload, download and compare: identifies the station, loads its parameter data
// file and runs the editor's transfer engine, printing a progress line on a terminal and the
// result as text or JSON. A drive that stops answering ends the command; a parameter the drive
// refuses is counted and the transfer carries on.

#include "catalogue/StationRecord.h"
#include "comm/CommManager.h"
#include "tools/ctl/CtlOptions.h"
#include "transfer/ParaTransfer.h"

#include <functional>
#include <memory>
#include <ostream>

namespace vm::ctl {

// Compare found differences, or verification found a parameter the drive did not keep.
inline constexpr int kExitDifferent = 5;

class CtlTransfer : public CommClient {
public:
    // progress: draw a progress line on err (a terminal).
    CtlTransfer(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err,
                bool progress);
    ~CtlTransfer() override;

    void Begin();
    // SIGINT or SIGTERM: stops after the request on the line and exits 128 + the signal.
    void Interrupt(int signal);
    bool Finished() const { return finished_; }
    int ExitCode() const { return exitCode_; }
    std::function<void()> onFinished;

    void OnCommReply(int station, const CommReply& reply) override;

private:
    void Identified();
    void Ended();
    void Report();
    void Finish(int code);
    void Line(const std::string& text, const std::string& json);

    CommManager& manager_;
    CtlOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    StationRecord record_;
    std::unique_ptr<ParaTransfer> transfer_;
    bool progressShown_ = false;
    int signal_ = 0;
    bool finished_ = false;
    int exitCode_ = 0;
};

}  // namespace vm::ctl
