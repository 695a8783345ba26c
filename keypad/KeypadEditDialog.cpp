#include "keypad/KeypadEditDialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vm {

KeypadEditDialog::KeypadEditDialog(CommManager& comm, const StationRecord& record, const MonitorItem& item,
                                   QWidget* parent)
    : QDialog(parent), logic_(comm, record, item)
{
    setWindowTitle(logic_.Caption());

    auto* group = new QGroupBox(logic_.ItemName(), this);
    auto* form = new QFormLayout(group);
    value_ = new QLineEdit(group);
    value_->setAccessibleName(QStringLiteral("Value"));
    value_->setValidator(new QRegularExpressionValidator(QRegularExpression(logic_.InputPattern()), value_));
    value_->setAlignment(Qt::AlignRight);
    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(value_, 1);
    valueRow->addWidget(new QLabel(logic_.Unit(), group));
    form->addRow(QStringLiteral("Value"), valueRow);
    form->addRow(QStringLiteral("Minimum"), new QLabel(logic_.MinimumText(), group));
    form->addRow(QStringLiteral("Maximum"), new QLabel(logic_.MaximumText(), group));

    status_ = new QLabel(this);
    status_->setStyleSheet(QStringLiteral("color: blue"));
    status_->setAccessibleName(QStringLiteral("Status"));

    read_ = new QPushButton(QStringLiteral("&Read"), this);
    write_ = new QPushButton(QStringLiteral("&Write"), this);
    close_ = new QPushButton(QStringLiteral("&Close"), this);
    write_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(read_);
    buttons->addWidget(write_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    connect(read_, &QPushButton::clicked, &logic_, &KeypadEditLogic::Read);
    connect(write_, &QPushButton::clicked, this, [this] { logic_.Write(value_->text()); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&logic_, &KeypadEditLogic::valueRead, value_, &QLineEdit::setText);
    connect(&logic_, &KeypadEditLogic::changed, this, &KeypadEditDialog::Refresh);
    logic_.Read();
}

void KeypadEditDialog::Refresh()
{
    const bool busy = logic_.Busy();
    read_->setEnabled(!busy);
    write_->setEnabled(!busy);
    close_->setEnabled(!busy);
    value_->setEnabled(logic_.ValueEnabled());
    status_->setText(logic_.StatusText());
    if (!busy && !logic_.ValueEnabled())
        value_->clear();
    if (!busy && logic_.ValueEnabled()) {
        value_->setFocus();
        value_->selectAll();
    }
}

}  // namespace vm
