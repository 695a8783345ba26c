// The main window's Line Health page: a row for every drive connected during the run, lost ones
// kept with the counters that explain their loss, and a word on replies nobody of ours asked for.
#include "catalogue/Models.h"
#include "comm/SerialPort.h"
#include "monitor/MainFrame.h"

#include <set>

namespace vm {

std::vector<LineHealthRow> CMainFrame::HealthRows()
{
    // A lost drive keeps its row: its time-outs and give-ups are what explain the loss.
    std::vector<LineHealthRow> rows;
    std::set<int> ids;
    for (int id : network_.EverConnected())
        ids.insert(id);
    for (int id : network_.ConnectedIds())
        ids.insert(id);
    for (int id : ids) {
        const StationRecord& r = network_.Record(id);
        const bool lost = !(r.present && r.connected);
        const int model = lost ? network_.LastModel(id) : r.model;
        QString drive = QString::fromLatin1(ModelName(model));
        if (const QString& name = network_.DeviceName(id); !name.isEmpty())
            drive = name + QStringLiteral(" (") + drive + QLatin1Char(')');
        rows.push_back({id, drive, Manager().Health(id), Manager().BlockReads(id), lost});
    }
    return rows;
}

QString CMainFrame::HealthNote()
{
    const std::string device = SerialPort::DevicePath(settings_.port.toStdString());
    QString note =
        LineNote(Manager().LinePaced(), Manager().GapUs() / 1000.0, SerialPort::UsbLatencyTimerMs(device));
    if (const uint64_t foreign = Manager().ForeignReplies(); foreign != 0)
        note += QStringLiteral(" Replies that answer no request of ours: %1 (another master on the line?)")
                    .arg(foreign);
    return note;
}

}  // namespace vm
