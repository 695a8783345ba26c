#pragma once
// Messages the user must see (file errors, refused files, questions). The GUI shows them as
// message boxes; tests and command-line tools record them. Texts are UTF-8.

#include <string>
#include <vector>

namespace vm {

enum class MessageKind { Plain, Error, Information, Question };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Show(MessageKind kind, const std::string& text, const std::string& caption) = 0;
    // True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
};

// Keeps every message and question; answers questions with a preset answer.
class MessageLog final : public MessageSink {
public:
    struct Entry {
        MessageKind kind;
        std::string text;
        std::string caption;
    };

    explicit MessageLog(bool answer = true) : answer_(answer) {}

    void Show(MessageKind kind, const std::string& text, const std::string& caption) override
    {
        entries_.push_back({kind, text, caption});
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override
    {
        entries_.push_back({MessageKind::Question, text, caption});
        return answer_;
    }

    void SetAnswer(bool answer) { answer_ = answer; }
    const std::vector<Entry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }

private:
    bool answer_;
    std::vector<Entry> entries_;
};

}  // namespace vm
