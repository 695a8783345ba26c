#pragma once
// The parameter editor's message boxes: every one captioned "Parameter Editor", shown through the
// host's message sink, and counted while open so the editor can refuse to close under a box.

#include "paramdb/MessageSink.h"

#include <string>

namespace vm {

class EditorMessages final : public MessageSink {
public:
    static constexpr const char* kCaption = "Parameter Editor";

    explicit EditorMessages(MessageSink& sink) : sink_(sink) {}

    void Error(const std::string& text) { ShowText(MessageKind::Error, text); }
    void Information(const std::string& text) { ShowText(MessageKind::Information, text); }
    // As a sink (behind a queue), every box still the editor's and counted.
    void Show(MessageKind kind, const std::string& text, const std::string&) override
    {
        ShowText(kind, text);
    }
    bool AskYesNo(const std::string& text, const std::string&) override { return Ask(text); }
    bool Ask(const std::string& text)
    {
        Guard g(*this);
        return sink_.AskYesNo(text, kCaption);
    }
    MessageSink& Sink() { return sink_; }

    // Boxes and dialogs of the editor open right now.
    int Depth() const { return depth_; }

    // Held around any modal step (box, file dialog, mode dialog).
    class Guard {
    public:
        explicit Guard(EditorMessages& m) : m_(m) { ++m_.depth_; }
        ~Guard() { --m_.depth_; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        EditorMessages& m_;
    };

private:
    void ShowText(MessageKind kind, const std::string& text)
    {
        Guard g(*this);
        sink_.Show(kind, text, kCaption);
    }

    MessageSink& sink_;
    int depth_ = 0;
};

}  // namespace vm
