#pragma once
// What varimonctl's line commands share: the options and streams, the exit codes, the one way a
// command ends and the way it prints. The runners (CtlRunner for scan, read, write and monitor,
// CtlTransfer for the file commands) stand on it.

#include "base/Result.h"
#include "comm/CommManager.h"
#include "tools/common/LineOptions.h"
#include "tools/ctl/CtlOptions.h"

#include <functional>
#include <ostream>
#include <string>

class QJsonObject;

namespace vm::ctl {

enum ExitCode : int {
    kExitOk = 0,
    kExitCommFailure = 1,
    kExitUsage = tools::kUsageExitCode,  // a command line it cannot follow
    kExitPort = 3,
    // Compare found differences, or verification found a parameter the drive did not keep.
    kExitDifferent = 5,
};

class CtlCommand : public CommClient {
public:
    ~CtlCommand() override = default;

    bool Finished() const { return finished_; }
    int ExitCode() const { return exitCode_; }
    // Called once, when the command is done.
    std::function<void()> onFinished;

protected:
    CtlCommand(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err);

    // Ends the command with an exit code, once.
    void Finish(int code);
    // Ends it with a failure: its text on stderr (a failure already shown there has none), its
    // code as the exit code.
    void Finish(const Failure& failure);
    // Before the end: lets go of what the command holds in the manager.
    virtual void Release() {}

    // One result line on stdout, as text or as JSON after --json.
    void EmitLine(const std::string& text, const std::string& json);
    // "*** text ***" on stderr.
    void PrintError(const std::string& text);
    // A reply's error; for a give-up, the error of its last attempt.
    static std::string ReplyErrorText(const CommReply& reply);
    static std::string Compact(const QJsonObject& object);

    CommManager& manager_;
    const CtlOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    int exitCode_ = kExitOk;

private:
    bool finished_ = false;
};

}  // namespace vm::ctl
