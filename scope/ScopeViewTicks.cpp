// The graph monitor view's ticks: values from the line, the sample tick with what it shows, the
// end of a triggered run, record lines at a fixed period and the cursor read-out.

#include "scope/ScopeView.h"

#include "frames/FloatFrame.h"

#include <QDateTime>
#include <QLCDNumber>
#include <QLabel>

namespace vm::scope {

void CScopeView::OnCommMonitor(int station, const CommReply& reply)
{
    // Values only; the next sample tick draws them.
    logic_.OnMonitor(station, reply, NowMs());
    // A station given up has lost every registration; removing ours later would take away
    // whatever others register for it meanwhile.
    if (reply.error == kGiveUp)
        registered_.erase(station);
}

void CScopeView::SampleTick()
{
    if (!logic_.Monitoring())
        return;
    const bool wasOccurred = logic_.Trigger().Occurred();
    const int64_t now = NowMs();
    const ScopeLogic::Sample s = logic_.OnSample(now);
    // The rates change slowly; once a second is enough to read them.
    const bool rates = now - ratesShownMs_ >= 1000 || s.point == 0;
    if (rates)
        ratesShownMs_ = now;
    for (int i = 0; i < kChannelCount; ++i) {
        const ScopeForm::Row& r = form_.rows[static_cast<size_t>(i)];
        r.data->setText(QString::fromStdString(s.labels[static_cast<size_t>(i)]));
        if (rates)
            r.rate->setText(logic_.Ready(i) ? QString::asprintf("%.1f/s", logic_.RefreshRate(i, now))
                                            : QString());
    }
    ShowLegends();
    if (!wasOccurred && logic_.Trigger().Occurred()) {
        UpdateLamps();
        emit StateChanged();
    }
    if (s.recorded)
        form_.counter->display(logic_.RecordCounter());
    if (s.recordFailed) {
        StopRecord();
        ShowLater(MessageKind::Error, QStringLiteral("Fail to write data to record file"));
    }
    if (s.trigger == LevelTrigger::Step::Stop)
        FinishTrigger();
}

void CScopeView::FinishTrigger()
{
    const int point = logic_.TriggerPoint();
    StopMonitor();
    form_.chart->SetCursorPoint(point);
    if (settings_.preTriggerShare > 0)
        form_.chart->Viewport().PlaceAt(logic_.Store().X(point), settings_.preTriggerShare / 100.0);
    CursorReadout();
    if (settings_.snapshot) {
        const StripChart::PictureFormat format =
            settings_.snapshotFormat == 1   ? StripChart::PictureFormat::Svg
            : settings_.snapshotFormat == 2 ? StripChart::PictureFormat::Jpeg
                                            : StripChart::PictureFormat::Bmp;
        if (const Result<> saved = form_.chart->SavePicture(settings_.snapshotPath, format); !saved)
            ShowLater(MessageKind::Error, QStringLiteral("%1\n%2").arg(settings_.snapshotPath,
                                                                       QString::fromStdString(saved.Text())));
    }
}

void CScopeView::RecordTick()
{
    if (!logic_.Recording())
        return;
    if (!logic_.RecordTick(NowMs(), QDateTime::currentDateTime())) {
        StopRecord();
        ShowLater(MessageKind::Error, QStringLiteral("Fail to write data to record file"));
        return;
    }
    form_.counter->display(logic_.RecordCounter());
}

void CScopeView::CursorReadout()
{
    if (logic_.Monitoring() || form_.chart->ScreenMode() != StripChart::Mode::Cursor)
        return;
    const int point = form_.chart->CursorPoint();
    for (int i = 0; i < kChannelCount; ++i) {
        // Each sample reads back through the offset, division and unit it was taken with.
        const bool shown = form_.chart->ChannelVisible(i) && form_.chart->PointCount() > 0;
        form_.rows[static_cast<size_t>(i)].data->setText(
            shown ? QString::fromStdString(logic_.CursorLabel(i, point)) : QString());
    }
}

}  // namespace vm::scope
