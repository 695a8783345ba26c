#pragma once
// The report sheet on screen: a table view over the report model with the sheet's spans, column
// widths and cell borders, without the view's own grid lines.

#include <QTableView>

namespace vm {

class ReportModel;

class CReportView : public QTableView {
    Q_OBJECT
public:
    CReportView(ReportModel& model, QWidget* parent);

    // Spans and sizes again after the model was reset.
    void Relayout();

private:
    ReportModel& model_;
};

}  // namespace vm
