#pragma once
// The report sheet as a Qt table model: texts, fill and text colours, bold and italic fonts, and
// a role telling the view which cells are boxed. Spans are read from Sheet() by the view.

#include "report/ReportSheet.h"

#include <QAbstractTableModel>

namespace vm {

class ReportModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // True for a cell drawn with borders on all four sides.
    static constexpr int kBoxedRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    const ReportSheet& Sheet() const { return sheet_; }
    void SetSheet(ReportSheet sheet);
    // Replaces one cell's text (header and device name refreshes).
    void SetText(int row, int column, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ReportSheet sheet_;
};

}  // namespace vm
