#include "frames/ToolFrameList.h"

#include "frames/FloatFrame.h"
#include "platform/Settings.h"
#include "platform/WindowPlacement.h"

#include <QSettings>

#include <algorithm>

namespace vm {

CToolFrameList::CToolFrameList(ToolHost& host) : host_(host)
{}

CToolFrameList::~CToolFrameList()
{
    while (!entries_.empty()) {
        QPointer<CFloatFrame> frame = entries_.back().frame;
        entries_.pop_back();
        if (frame) {
            frame->list_ = nullptr;
            delete frame.data();
        }
    }
}

void CToolFrameList::RegisterKind(int kind, Factory factory)
{
    factories_[kind] = std::move(factory);
}

QString CToolFrameList::PlacementName(int kind, int station)
{
    return QStringLiteral("%1-%2").arg(kind).arg(station);
}

CFloatFrame* CToolFrameList::Open(int kind, int station)
{
    if (Exists(kind, station))
        return nullptr;
    const auto it = factories_.find(kind);
    if (it == factories_.end())
        return nullptr;
    CFloatFrame* frame = it->second(host_, station);
    // The factory may have run a dialog; another request could have opened the key meanwhile.
    if (!frame)
        return nullptr;
    if (Exists(kind, station) || frame->Kind() != kind || frame->Station() != station) {
        delete frame;
        return nullptr;
    }
    entries_.push_back({frame, kind, station});
    frame->list_ = this;
    {
        QSettings s(kCompanyKey, kApplicationKey);
        RestorePlacement(s, PlacementName(kind, station), *frame);
    }
    frame->InitialUpdate();
    frame->show();
    return frame;
}

CFloatFrame* CToolFrameList::Find(int kind, int station) const
{
    for (const Entry& e : entries_)
        if (e.kind == kind && e.station == station && e.frame)
            return e.frame;
    return nullptr;
}

bool CToolFrameList::Activate(int kind, int station)
{
    CFloatFrame* frame = Find(kind, station);
    if (!frame)
        return false;
    frame->setWindowState(frame->windowState() & ~Qt::WindowMinimized);
    frame->show();
    frame->raise();
    frame->activateWindow();
    return true;
}

CFloatFrame* CToolFrameList::OpenOrActivate(int kind, int station)
{
    if (Activate(kind, station))
        return Find(kind, station);
    return Open(kind, station);
}

void CToolFrameList::Broadcast(ToolNotice notice, int station)
{
    for (const Entry& e : entries_) {
        if (!e.frame || (e.station >= kFirstOfflineStation && notice != ToolNotice::GraphWatchChanged))
            continue;
        CFloatFrame* frame = e.frame;
        // Queued like a posted message; the frame as context drops it if the frame is gone.
        QMetaObject::invokeMethod(
            frame,
            [this, frame, notice, station] {
                if (Find(frame->Kind(), frame->Station()) == frame)
                    frame->Notify(notice, station);
            },
            Qt::QueuedConnection);
    }
}

bool CToolFrameList::CloseAll(int kind)
{
    bool all = true;
    std::vector<QPointer<CFloatFrame>> frames;
    for (const Entry& e : entries_)
        if (e.frame && (kind == 0 || e.kind == kind))
            frames.push_back(e.frame);
    for (const QPointer<CFloatFrame>& frame : frames) {
        if (!frame)
            continue;
        const bool underDialog = frame->ModalDepth() > 0 || frame->HasOpenDialog();
        frame->CloseFrame();
        if (!frame)
            continue;
        if (Find(frame->Kind(), frame->Station()) == frame) {
            all = false;
            continue;
        }
        // At shutdown the frames go now, before the communication manager; one with a dialog
        // still on the stack goes when that dialog has returned.
        if (kind == 0 && !underDialog)
            delete frame.data();
    }
    return all;
}

bool CToolFrameList::AllCanClose() const
{
    for (const Entry& e : entries_)
        if (e.frame && !e.frame->CanCloseFrame())
            return false;
    return true;
}

int CToolFrameList::FreeOfflineStation() const
{
    for (int s = kFirstOfflineStation; s <= kLastOfflineStation; ++s)
        if (!Exists(kKindParameterEditor, s))
            return s;
    return -1;
}

int CToolFrameList::Count(int kind) const
{
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [kind](const Entry& e) { return e.frame && e.kind == kind; }));
}

int CToolFrameList::OfflineCount() const
{
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) {
        return e.frame && e.kind == kKindParameterEditor && e.station >= kFirstOfflineStation;
    }));
}

std::vector<CFloatFrame*> CToolFrameList::Frames() const
{
    std::vector<CFloatFrame*> out;
    for (const Entry& e : entries_)
        if (e.frame)
            out.push_back(e.frame);
    return out;
}

void CToolFrameList::Remove(CFloatFrame* frame)
{
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [frame](const Entry& e) { return e.frame == frame; });
    if (it == entries_.end())
        return;
    {
        QSettings s(kCompanyKey, kApplicationKey);
        SavePlacement(s, PlacementName(it->kind, it->station), *frame);
    }
    entries_.erase(it);
    frame->list_ = nullptr;
    frame->deleteLater();
}

void CToolFrameList::Forget(CFloatFrame* frame)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [frame](const Entry& e) { return e.frame == frame || !e.frame; }),
                   entries_.end());
}

}  // namespace vm
