#pragma once
// The main window's list of open tool windows: at most one frame per (kind, station), an existing
// frame brought forward instead of a second one, offline editor slots 256-287 handed out lowest
// first, placements stored per key, and the main window's notices carried to the frames.
// Frame kinds are registered by the program, so this list knows no particular tool window.

#include "frames/ToolKinds.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <vector>

namespace vm {

class CFloatFrame;
class ToolHost;

inline constexpr int kFirstOfflineStation = 256;
inline constexpr int kLastOfflineStation = 287;

class CToolFrameList : public QObject {
    Q_OBJECT
public:
    // Makes a frame for the station, or nothing when the user cancelled a set-up step (the
    // editor's mode dialog) or the frame cannot serve the station.
    using Factory = std::function<CFloatFrame*(ToolHost& host, int station)>;

    explicit CToolFrameList(ToolHost& host);
    // Frees every frame still open, at once: frames are clients of the communication manager
    // and must go before it.
    ~CToolFrameList() override;

    void RegisterKind(int kind, Factory factory);
    bool HasKind(int kind) const { return factories_.count(kind) != 0; }

    // Nothing when a frame of that key is open, the kind is unknown or the factory declined.
    CFloatFrame* Open(int kind, int station);
    CFloatFrame* Find(int kind, int station) const;
    bool Exists(int kind, int station) const { return Find(kind, station) != nullptr; }
    // Brings the frame to the top, restored if minimised; false when there is none.
    bool Activate(int kind, int station);
    // Activates an open frame, else opens one.
    CFloatFrame* OpenOrActivate(int kind, int station);

    // Delivered later to every listed frame below 256 (online frames and the graph monitor);
    // graph watch changes reach offline editors too.
    void Broadcast(ToolNotice notice, int station);

    // Asks every frame of the kind (0: every frame) to close. Kind 0 frees the frames before it
    // returns. False when a frame refused.
    bool CloseAll(int kind = 0);
    bool AllCanClose() const;

    // Lowest offline slot without an editor, or -1 when all 32 are taken.
    int FreeOfflineStation() const;
    int Count(int kind) const;
    int OfflineCount() const;
    std::vector<CFloatFrame*> Frames() const;

    // Called by a closing frame: stores its placement and unlinks it; the frame is freed once
    // control is back in the event loop. A frame that is not listed is ignored.
    void Remove(CFloatFrame* frame);

    static QString PlacementName(int kind, int station);

private:
    friend class CFloatFrame;
    struct Entry {
        QPointer<CFloatFrame> frame;
        int kind;
        int station;
    };
    // A frame destroyed without closing leaves the list without a placement.
    void Forget(CFloatFrame* frame);

    ToolHost& host_;
    std::map<int, Factory> factories_;
    std::vector<Entry> entries_;  // in the order the frames were opened
};

}  // namespace vm
