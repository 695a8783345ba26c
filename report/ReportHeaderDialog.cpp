#include "report/ReportHeaderDialog.h"

#include "frames/FloatFrame.h"
#include "paramdb/MessageSink.h"
#include "platform/Settings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace vm {

CReportHeaderDlg::CReportHeaderDlg(MessageSink& messages, QWidget* parent)
    : QDialog(parent), messages_(messages)
{
    setWindowTitle(QStringLiteral("Report Header Setup"));
    auto* form = new QFormLayout;
    const char* labels[] = {"Company", "Division", "Author"};
    for (int i = 0; i < 3; ++i) {
        edits_[i] = new QLineEdit(this);
        edits_[i]->setObjectName(QString::fromLatin1(labels[i]));
        form->addRow(QString::fromLatin1(labels[i]), edits_[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CReportHeaderDlg::SetForm(const ReportHeaderForm& form)
{
    edits_[0]->setText(form.company);
    edits_[1]->setText(form.division);
    edits_[2]->setText(form.author);
}

ReportHeaderForm CReportHeaderDlg::Form() const
{
    return {edits_[0]->text(), edits_[1]->text(), edits_[2]->text()};
}

void CReportHeaderDlg::accept()
{
    const ReportHeaderForm form = Form();
    if (const auto bad = form.FirstTooLong()) {
        messages_.Show(MessageKind::Error, ReportHeaderForm::TooLongText().toStdString(),
                       "Report Header Setup");
        edits_[*bad]->setFocus();
        edits_[*bad]->selectAll();
        return;
    }
    QSettings s(kCompanyKey, kApplicationKey);
    form.Save(s);
    QDialog::accept();
}

bool CReportHeaderDlg::Run(MessageSink& messages, QWidget* parent)
{
    CReportHeaderDlg dialog(messages, parent);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        dialog.SetForm(ReportHeaderForm::Load(s));
    }
    return CFloatFrame::RunModal(parent, dialog) == QDialog::Accepted;
}

}  // namespace vm
