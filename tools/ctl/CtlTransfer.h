#pragma once
// varimonctl's upload, download and compare: identifies the station, loads its parameter data
// file and runs the editor's transfer engine, printing a progress line on a terminal and the
// result as text or JSON. A drive that stops answering ends the command; a parameter the drive
// refuses is counted and the transfer carries on.

#include "catalogue/StationRecord.h"
#include "tools/ctl/CtlCommand.h"
#include "transfer/ParaTransfer.h"

#include <memory>

namespace vm::ctl {

class CtlTransfer : public CtlCommand {
public:
    // progress: draw a progress line on err (a terminal).
    CtlTransfer(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err,
                bool progress);
    ~CtlTransfer() override;

    void Begin();
    // SIGINT or SIGTERM: stops after the request on the line and exits 128 + the signal.
    void Interrupt(int signal);

    void OnCommReply(int station, const CommReply& reply) override;

private:
    // The station's data and the file's set; a failure's code is the exit code.
    Result<TransferSet> Prepare(TransferOperation op);
    void Identified();
    void Ended();
    void Report();

    bool progress_;
    StationRecord record_;
    std::unique_ptr<ParaTransfer> transfer_;
    bool progressShown_ = false;
    int signal_ = 0;
};

}  // namespace vm::ctl
