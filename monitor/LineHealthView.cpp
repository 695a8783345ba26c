#include "monitor/LineHealthView.h"

#include "platform/ReportList.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vm {

namespace {

constexpr int kRefreshMs = 1000;

QString SinceText()
{
    return QStringLiteral("Counted since %1")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd hh:mm:ss")));
}

}  // namespace

LineHealthView::LineHealthView(RowSource rows, ResetCounters reset, QWidget* parent)
    : QWidget(parent), rows_(std::move(rows)), reset_(std::move(reset))
{
    setObjectName(QStringLiteral("LineHealthView"));
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    clock_ = [clock] { return clock->elapsed(); };

    table_ = new QTableView(this);
    table_->setModel(&model_);
    SetReportStyle(*table_);
    QHeaderView* header = table_->horizontalHeader();
    for (int c = 0; c < model_.columnCount(); ++c)
        header->resizeSection(c, header->fontMetrics().horizontalAdvance(
                                     model_.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                                     24);
    header->resizeSection(static_cast<int>(HealthColumn::Id), 44);
    header->resizeSection(static_cast<int>(HealthColumn::Drive), 120);
    header->resizeSection(static_cast<int>(HealthColumn::Refusals), 120);
    header->resizeSection(static_cast<int>(HealthColumn::BlockReads), 80);

    since_ = new QLabel(SinceText(), this);
    resetButton_ = new QPushButton(QStringLiteral("Reset"), this);
    resetButton_->setToolTip(QStringLiteral("Set every counter to zero"));
    connect(resetButton_, &QPushButton::clicked, this, &LineHealthView::Reset);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 4, 8, 6);
    buttons->addWidget(since_);
    buttons->addStretch(1);
    buttons->addWidget(resetButton_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("lineNote"));
    note_->setContentsMargins(8, 4, 8, 0);
    note_->setWordWrap(true);
    note_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(note_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &LineHealthView::Refresh);
    timer_.start();
}

void LineHealthView::Refresh()
{
    model_.Refresh(rows_ ? rows_() : std::vector<LineHealthRow>{}, clock_());
    const QString note = noteSource_ ? noteSource_() : QString();
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

QString LineHealthView::NoteText() const
{
    return note_->text();
}

void LineHealthView::Reset()
{
    if (reset_)
        reset_();
    model_.Restart();
    since_->setText(SinceText());
    Refresh();
}

}  // namespace vm
