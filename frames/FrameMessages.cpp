#include "frames/FrameMessages.h"

#include "frames/FloatFrame.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"

#include <QMessageBox>
#include <QTimer>

namespace vm {

namespace {

QMessageBox::Icon IconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Question:
        return QMessageBox::Question;
    case MessageKind::Plain:
        break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void FrameMessages::Show(MessageKind kind, const std::string& text, const std::string& caption)
{
    if (frame_.CloseRequested()) {
        // The window is going: the message still reaches the user, over the main window, later.
        host_.LaterMessages().Show(kind, text, caption);
        return;
    }
    if (!host_.MessageBoxes()) {
        CFloatFrame::ModalScope scope(&frame_);
        host_.Messages().Show(kind, text, caption);
        return;
    }
    QMessageBox box(IconOf(kind), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, &frame_);
    frame_.RunModal(box);
}

bool FrameMessages::AskYesNo(const std::string& text, const std::string& caption)
{
    if (frame_.CloseRequested())
        return false;
    if (!host_.MessageBoxes()) {
        CFloatFrame::ModalScope scope(&frame_);
        return host_.Messages().AskYesNo(text, caption);
    }
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, &frame_);
    box.setDefaultButton(QMessageBox::Yes);
    return frame_.RunModal(box) == QMessageBox::Yes;
}

}  // namespace vm
