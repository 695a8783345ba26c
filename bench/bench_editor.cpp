// Opens offline parameter editors on the largest data file (QM-A20 2.16) the way the program
// does, fills the list with every group and formats every cell, and reports editors per second,
// rows per second, and the heap one open editor holds.
// Usage: bench_editor

#include "editor/EditorKind.h"
#include "editor/ParaFrame.h"
#include "editor/ParaListView.h"
#include "paramdb/ParameterData.h"
#include "tests/support/FakeToolHost.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <malloc.h>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

std::optional<vm::ModeChoice> Setup(vm::ToolHost& host, int station, vm::ModeUse use, QWidget*)
{
    vm::ModeSettings s;
    s.model = 4;
    s.version = 0x0210;
    vm::ParaModeLogic logic(host, station, use, s);
    if (!logic.Setup())
        return std::nullopt;
    return logic.Choice();
}

// Every cell's text and colour, as a paint of the whole list would ask for them.
size_t FormatAll(vm::ParaListModel& model)
{
    size_t chars = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c) {
            chars += static_cast<size_t>(model.data(model.index(r, c), Qt::DisplayRole).toString().size());
            chars += model.data(model.index(r, c), Qt::ForegroundRole).isValid() ? 1 : 0;
        }
    return chars;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());

    vm::test::FakeToolHost host;
    vm::RegisterEditorKind(host.frames, &Setup);

    // Opening: mode setup (data file load), frame, tree, first group in the list.
    constexpr int kOpens = 20;
    const auto openStart = Clock::now();
    for (int i = 0; i < kOpens; ++i) {
        auto* f = host.frames.Open(vm::kKindParameterEditor, 256);
        if (!f) {
            std::fprintf(stderr, "cannot open an editor for QM-A20 2.16 below %s\n", VARIMON_TEST_DATA_DIR);
            return 1;
        }
        f->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const double openSeconds = Seconds(openStart);

    // Filling: every group's rows, every cell formatted.
    auto* frame = static_cast<vm::CParaFrame*>(host.frames.Open(vm::kKindParameterEditor, 256));
    vm::ParaListModel& model = frame->List().Model();
    constexpr int kFills = 200;
    size_t rows = 0, chars = 0;
    const auto fillStart = Clock::now();
    for (int i = 0; i < kFills; ++i) {
        frame->List().Show(vm::ParaNode{vm::NodeKind::GroupRoot, nullptr, nullptr});
        rows += static_cast<size_t>(model.RowCount());
        chars += FormatAll(model);
    }
    const double fillSeconds = Seconds(fillStart);
    const int rowsPerList = model.RowCount();
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Heap per editor: eight open at once, all groups listed.
    constexpr int kHeld = 8;
    const size_t heapBefore = HeapInUse();
    for (int i = 0; i < kHeld; ++i) {
        auto* f = static_cast<vm::CParaFrame*>(
            host.frames.Open(vm::kKindParameterEditor, host.frames.FreeOfflineStation()));
        f->List().Show(vm::ParaNode{vm::NodeKind::GroupRoot, nullptr, nullptr});
    }
    QCoreApplication::processEvents();
    const size_t heapAfter = HeapInUse();

    std::printf("largest data file: QM-A20 2.16, %d parameters\n", rowsPerList);
    std::printf("editors opened: %.1f per second (%.2f ms each)\n", kOpens / openSeconds,
                1000.0 * openSeconds / kOpens);
    std::printf("list rows filled and formatted: %.0f per second (%zu characters)\n", rows / fillSeconds,
                chars);
    std::printf("heap held by one open editor: %.1f KiB\n",
                static_cast<double>(heapAfter - heapBefore) / kHeld / 1024.0);
    host.frames.CloseAll();
    return 0;
}
