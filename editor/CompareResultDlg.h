#pragma once
// "Compare Result": one row per parameter whose drive value differs from the file's, and one per
// parameter that could not be read (marked, with the file's value), the first row selected.

#include "transfer/ParaTransfer.h"

#include <QDialog>

#include <vector>

class QTreeWidget;

namespace vm {

class CCompareResultDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kReadFailed = "Read failed";

    explicit CCompareResultDlg(const std::vector<CompareRow>& rows, QWidget* parent = nullptr);
    QTreeWidget* List() const { return list_; }

private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace vm
