#include "platform/QueuedMessageSink.h"

#include <QMetaObject>

#include <algorithm>

namespace vm {

QueuedMessageSink::QueuedMessageSink(MessageSink* target, QObject* parent) : QObject(parent), target_(target)
{}

void QueuedMessageSink::Show(MessageKind kind, const std::string& text, const std::string& caption)
{
    const Message m{kind, text, caption};
    if (showing_ == m || std::find(waiting_.begin(), waiting_.end(), m) != waiting_.end())
        return;
    waiting_.push_back(m);
    if (!flushPosted_) {
        flushPosted_ = true;
        QMetaObject::invokeMethod(this, &QueuedMessageSink::Flush, Qt::QueuedConnection);
    }
}

bool QueuedMessageSink::AskYesNo(const std::string& text, const std::string& caption)
{
    return target_ ? target_->AskYesNo(text, caption) : false;
}

void QueuedMessageSink::Flush()
{
    flushPosted_ = false;
    if (showing_)
        return;
    while (!waiting_.empty()) {
        showing_ = waiting_.front();
        waiting_.pop_front();
        if (target_)
            target_->Show(showing_->kind, showing_->text, showing_->caption);
        showing_.reset();
    }
}

}  // namespace vm
