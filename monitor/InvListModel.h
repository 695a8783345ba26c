#pragma once
// Rows of the inverter list: one per station the scan found, each pointing at its StationRecord
// (never owning it). A cell is rewritten, and repainted, only when its text changes.

#include "catalogue/StationRecord.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace vm {

enum InvColumn : int {
    kColId = 0,
    kColDeviceName,
    kColModel,
    kColCapacity,
    kColFrequency,
    kColCurrent,
    kColStatus,
    kColFault,
    kInvColumnCount
};

// Row images: 0-3 follow the status image index of the catalogue.
enum RowImage : int {
    kRowStop = 0,
    kRowForward = 1,
    kRowReverse = 2,
    kRowFault = 3,
    kRowDisconnected = 4,
    kRowNotSupported = 5,
    kRowImageCount
};

class CInvListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using NameLookup = std::function<QString(int station)>;

    explicit CInvListModel(NameLookup deviceName, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Returns the row of the record afterwards, or -1 when it has none.
    int RefreshStation(StationRecord& record);
    void RefreshValues(StationRecord& record);
    void NameChanged(int station);
    // Deletes, last row first, every row whose record is not both present and connected.
    void RemoveUnconnected();

    int RowOf(const StationRecord* record) const;
    StationRecord* RecordAt(int row) const;
    std::vector<int> ListedStations() const;
    QString CellText(int row, int column) const;
    int RowImageAt(int row) const;

    // Column 0 compares IDs as numbers, the others texts without case; descending reverses.
    void SortRows(int column, bool ascending);

    // Cells rewritten since construction (for the refresh benchmark and tests).
    uint64_t CellWrites() const { return cellWrites_; }

private:
    struct Row {
        StationRecord* record = nullptr;
        std::array<QString, kInvColumnCount> cells;
        int image = kRowStop;
    };

    void SetCell(int row, int column, const QString& text);
    void SetImage(int row, int image);
    bool IsRed(const Row& row) const;

    NameLookup deviceName_;
    std::vector<Row> rows_;
    std::array<QIcon, kRowImageCount> icons_;
    uint64_t cellWrites_ = 0;
};

}  // namespace vm
