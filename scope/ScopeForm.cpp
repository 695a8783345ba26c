#include "scope/ScopeForm.h"

#include "scope/ScopeTables.h"
#include "scope/StripChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vm::scope {

namespace {

QComboBox* List(QWidget* parent, const char* const* texts, int count)
{
    auto* box = new QComboBox(parent);
    for (int i = 0; i < count; ++i)
        box->addItem(QString::fromLatin1(texts[i]));
    return box;
}

// A read-out whose text changes while monitoring: a fixed size, so that a new text relays
// nothing out. `field` gives it a background of its own, so that the page under it is not
// painted again with every sample.
void MakeLiveLabel(QLabel* label, const QStringList& widest, bool field)
{
    int width = 0;
    for (const QString& text : widest)
        width = std::max(width, label->fontMetrics().horizontalAdvance(text));
    label->setText(widest.front());
    const int height = label->sizeHint().height();
    label->clear();
    label->setFixedSize(width + 2 * (label->frameWidth() + label->margin()) + 8, height);
    if (field) {
        label->setBackgroundRole(QPalette::Base);
        label->setAutoFillBackground(true);
    }
}

QLineEdit* NumberField(QWidget* parent, double limit, int decimals, int width)
{
    auto* field = new QLineEdit(parent);
    auto* validator = new QDoubleValidator(-limit, limit, decimals, field);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    field->setValidator(validator);
    field->setMaximumWidth(width);
    return field;
}

}  // namespace

void ScopeForm::Build(QWidget* owner)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(4, 4, 4, 4);
    chart = new StripChart(owner);
    chart->setMinimumSize(600, 300);
    layout->addWidget(chart, 1);

    auto* strip = new QHBoxLayout;
    recordLamp = new QLabel(owner);
    recordLamp->setFixedSize(12, 12);
    triggerLamp = new QLabel(owner);
    triggerLamp->setFixedSize(12, 12);
    strip->addWidget(recordLamp);
    strip->addWidget(new QLabel(QStringLiteral("Recording..."), owner));
    strip->addWidget(triggerLamp);
    strip->addWidget(new QLabel(QStringLiteral("Triggering..."), owner));
    strip->addSpacing(12);
    strip->addWidget(new QLabel(QStringLiteral("Elapsed Time"), owner));
    elapsedText = new QLabel(QStringLiteral("00:00:00"), owner);
    elapsedText->setFrameShape(QFrame::Panel);
    elapsedText->setFrameShadow(QFrame::Sunken);
    MakeLiveLabel(elapsedText, {QStringLiteral("88:88:88")}, false);
    elapsedText->setText(QStringLiteral("00:00:00"));
    strip->addWidget(elapsedText);
    strip->addWidget(new QLabel(QStringLiteral("Record Counter"), owner));
    counter = new QLCDNumber(7, owner);
    counter->setSegmentStyle(QLCDNumber::Filled);
    counter->setFixedSize(120, 26);
    counter->setStyleSheet(QStringLiteral("QLCDNumber { background: black; color: #40ff40; }"));
    strip->addWidget(counter);
    strip->addWidget(new QLabel(QStringLiteral("X-Axis Time"), owner));
    strip->addWidget(span = List(owner, kSpanTexts, 16));
    strip->addWidget(new QLabel(QStringLiteral("Monitor Time"), owner));
    strip->addWidget(scan = List(owner, kScanTexts, 8));
    strip->addWidget(new QLabel(QStringLiteral("Record Time"), owner));
    strip->addWidget(recordPeriod = List(owner, kRecordTexts, kRecordChoices));
    strip->addStretch(1);
    layout->addLayout(strip);

    tabs = new QTabWidget(owner);
    tabs->addTab(ChannelPage(owner), QStringLiteral("Channel Setup"));
    tabs->addTab(ScreenPage(owner), QStringLiteral("Graph Screen Setup"));
    tabs->addTab(TriggerPage(owner), QStringLiteral("Trigger && Record Setup"));
    layout->addWidget(tabs);
}

QWidget* ScopeForm::ChannelPage(QWidget* owner)
{
    auto* page = new QWidget(owner);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Monitoring Channel")), 0, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Data")), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Refresh")), 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Offset")), 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("Val/Div")), 0, 6);
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows[static_cast<size_t>(i)];
        auto* sw = new QHBoxLayout;
        r.lamp = new QLabel(page);
        r.lamp->setFixedSize(12, 12);
        r.on = new QCheckBox(QStringLiteral("CH%1").arg(i + 1), page);
        sw->addWidget(r.lamp);
        sw->addWidget(r.on);
        grid->addLayout(sw, i + 1, 0);
        r.station = new QComboBox(page);
        r.station->setMinimumWidth(150);
        r.address = new QComboBox(page);
        r.address->setMinimumWidth(160);
        r.data = new QLabel(page);
        r.data->setFrameShape(QFrame::Panel);
        r.data->setFrameShadow(QFrame::Sunken);
        MakeLiveLabel(r.data, {QStringLiteral("-88888.88 rpm"), QStringLiteral("No Connection")}, true);
        r.rate = new QLabel(page);
        MakeLiveLabel(r.rate, {QStringLiteral("888.8/s")}, false);
        r.rate->setToolTip(QStringLiteral("Fresh values per second from the drive"));
        r.offset = new QComboBox(page);
        for (double o : kOffsets)
            r.offset->addItem(QString::number(o));
        r.division = new QComboBox(page);
        for (double d : kDivisions)
            r.division->addItem(QString::number(d));
        grid->addWidget(r.station, i + 1, 1);
        grid->addWidget(r.address, i + 1, 2);
        grid->addWidget(r.data, i + 1, 3);
        grid->addWidget(r.rate, i + 1, 4);
        grid->addWidget(r.offset, i + 1, 5);
        grid->addWidget(r.division, i + 1, 6);
    }
    grid->setColumnStretch(7, 1);
    return page;
}

QWidget* ScopeForm::ScreenPage(QWidget* owner)
{
    auto* page = new QWidget(owner);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Line Color")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Line Width")), 0, 2);
    for (int i = 0; i < kChannelCount; ++i) {
        Row& r = rows[static_cast<size_t>(i)];
        grid->addWidget(new QLabel(QStringLiteral("CH%1").arg(i + 1)), i + 1, 0);
        r.colour = new QPushButton(page);
        r.width = new QComboBox(page);
        for (int w = 1; w <= 4; ++w)
            r.width->addItem(QString::number(w));
        grid->addWidget(r.colour, i + 1, 1);
        grid->addWidget(r.width, i + 1, 2);
    }
    autoScale = new QCheckBox(QStringLiteral("Y-Axis Auto Scale"), page);
    yMin = NumberField(page, 99999.99, 2, 90);
    yMax = NumberField(page, 99999.99, 2, 90);
    grid->addWidget(autoScale, 0, 4, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Y-Axis Min")), 1, 4);
    grid->addWidget(yMin, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("Y-Axis Max")), 2, 4);
    grid->addWidget(yMax, 2, 5);
    grid->addWidget(new QLabel(QStringLiteral("Other Color Setting")), 0, 7, 1, 2);
    const char* names[4] = {"Background", "Text", "Grid", "Cursor"};
    for (int k = 0; k < 4; ++k) {
        grid->addWidget(new QLabel(QString::fromLatin1(names[k])), k + 1, 7);
        otherColours[static_cast<size_t>(k)] = new QPushButton(page);
        grid->addWidget(otherColours[static_cast<size_t>(k)], k + 1, 8);
    }
    showGrid = new QCheckBox(QStringLiteral("Show Grid"), page);
    showLegend = new QCheckBox(QStringLiteral("Show Lable"), page);
    cursorList = new QComboBox(page);
    for (int i = 0; i < kChannelCount; ++i)
        cursorList->addItem(QStringLiteral("CH%1").arg(i + 1));
    secondCursor = new QCheckBox(QStringLiteral("Second Cursor (Shift+Click)"), page);
    elapsedAxis = new QCheckBox(QStringLiteral("Time axis in seconds from the start"), page);
    grid->addWidget(showGrid, 3, 4, 1, 2);
    grid->addWidget(showLegend, 4, 4, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Cursor")), 0, 10);
    grid->addWidget(cursorList, 1, 10);
    grid->addWidget(secondCursor, 2, 10);
    grid->addWidget(elapsedAxis, 3, 10);
    grid->setColumnStretch(11, 1);
    return page;
}

QWidget* ScopeForm::TriggerPage(QWidget* owner)
{
    auto* page = new QWidget(owner);
    auto* grid = new QGridLayout(page);
    triggerChannel = new QComboBox(page);
    for (int i = 0; i < kChannelCount; ++i)
        triggerChannel->addItem(QStringLiteral("CH%1").arg(i + 1));
    triggerValue = NumberField(page, 99999.99, 2, 100);
    edge = new QComboBox(page);
    edge->addItems({QStringLiteral("Rising"), QStringLiteral("Falling")});
    saveImage = new QCheckBox(QStringLiteral("Save Image"), page);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Channel")), 0, 0);
    grid->addWidget(triggerChannel, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Value")), 0, 2);
    grid->addWidget(triggerValue, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Edge Trigger")), 0, 4);
    grid->addWidget(edge, 0, 5);
    grid->addWidget(saveImage, 0, 6);
    preTrigger = new QComboBox(page);
    preTrigger->addItem(QStringLiteral("as shown"));
    for (int share = 10; share <= 90; share += 10)
        preTrigger->addItem(QStringLiteral("%1 %").arg(share));
    postTrigger = new QSpinBox(page);
    postTrigger->setRange(1, kMaxPostTriggerSamples);
    grid->addWidget(new QLabel(QStringLiteral("Before Trigger")), 3, 0);
    grid->addWidget(preTrigger, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Samples After Trigger")), 3, 2);
    grid->addWidget(postTrigger, 3, 3);
    recordPathField = new QLineEdit(page);
    recordPathField->setReadOnly(true);
    snapshotPathField = new QLineEdit(page);
    snapshotPathField->setReadOnly(true);
    recordPathButton = new QPushButton(QStringLiteral("..."), page);
    snapshotPathButton = new QPushButton(QStringLiteral("..."), page);
    timeStamps = new QCheckBox(QStringLiteral("with time stamps and a header"), page);
    grid->addWidget(new QLabel(QStringLiteral("Record File Path")), 1, 0);
    grid->addWidget(recordPathField, 1, 1, 1, 5);
    grid->addWidget(recordPathButton, 1, 6);
    grid->addWidget(timeStamps, 1, 7);
    grid->addWidget(new QLabel(QStringLiteral("Trigger Graph Image File Path")), 2, 0);
    grid->addWidget(snapshotPathField, 2, 1, 1, 5);
    grid->addWidget(snapshotPathButton, 2, 6);
    grid->setColumnStretch(1, 1);
    return page;
}

}  // namespace vm::scope
