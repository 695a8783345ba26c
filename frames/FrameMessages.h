#pragma once
// The message boxes of one tool window. On screen they open over that window and run through its
// modal bookkeeping, so a window that must close (its drive dropped) ends its own boxes first; a
// question ended that way answers No. In tests, where the host keeps a log, they go to the log.

#include "paramdb/MessageSink.h"

namespace vm {

class CFloatFrame;
class ToolHost;

class FrameMessages final : public MessageSink {
public:
    FrameMessages(CFloatFrame& frame, ToolHost& host) : frame_(frame), host_(host) {}

    void Show(MessageKind kind, const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;

private:
    CFloatFrame& frame_;
    ToolHost& host_;
};

}  // namespace vm
