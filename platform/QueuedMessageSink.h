#pragma once
// Messages raised where no message box may open, such as inside the communication manager's
// callbacks: a box's own event loop would run the line's timers and hand-overs from inside the
// callback. Each message is kept at once and passed on after the caller has returned to the
// event loop, one at a time; a message equal to one waiting or on screen is not repeated.

#include "paramdb/MessageSink.h"

#include <QObject>

#include <deque>
#include <optional>
#include <string>

namespace vm {

class QueuedMessageSink final : public QObject, public MessageSink {
    Q_OBJECT
public:
    explicit QueuedMessageSink(MessageSink* target, QObject* parent = nullptr);

    void SetTarget(MessageSink* target) { target_ = target; }

    void Show(MessageKind kind, const std::string& text, const std::string& caption) override;
    // Questions wait for their answer, so they are asked at once; only commands ask them.
    bool AskYesNo(const std::string& text, const std::string& caption) override;

    // Passes on what waits now; a call made while a message is on screen returns at once and
    // the one showing it carries on with the rest.
    void Flush();
    size_t Waiting() const { return waiting_.size(); }

private:
    struct Message {
        MessageKind kind;
        std::string text;
        std::string caption;
        bool operator==(const Message&) const = default;
    };

    MessageSink* target_;
    std::deque<Message> waiting_;
    std::optional<Message> showing_;
    bool flushPosted_ = false;
};

}  // namespace vm
