#pragma once
// "Report Header Setup": the company, division and author texts printed in every report's header.
// The editor's "Report &Header..." command and the report window's own both run it.

#include "report/ReportHeaderForm.h"

#include <QDialog>

class QLineEdit;

namespace vm {

class MessageSink;

class CReportHeaderDlg : public QDialog {
    Q_OBJECT
public:
    CReportHeaderDlg(MessageSink& messages, QWidget* parent);

    void SetForm(const ReportHeaderForm& form);
    ReportHeaderForm Form() const;

    // Runs the dialog over the stored texts; true when "&OK" stored new ones.
    static bool Run(MessageSink& messages, QWidget* parent);

    void accept() override;

private:
    MessageSink& messages_;
    QLineEdit* edits_[3] = {};
};

}  // namespace vm
