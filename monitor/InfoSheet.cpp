#include "monitor/InfoSheet.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vm {

namespace {

bool Contains(const std::vector<uint16_t>& list, uint32_t address)
{
    return std::find(list.begin(), list.end(), address) != list.end();
}

}  // namespace

// ---- CInfoPage ------------------------------------------------------------------------------

CInfoPage::CInfoPage(CInvInfoPropertySheet& sheet, ToolHost& host, int station)
    : m_sheet(sheet), m_host(host), m_station(station)
{}

CInfoPage::~CInfoPage()
{
    Unregister();
}

bool CInfoPage::Connected() const
{
    const StationRecord& r = Record();
    return r.present && r.connected;
}

bool CInfoPage::Registered() const
{
    return m_registered && m_host.Comm().IsListener(m_registeredStation, this);
}

void CInfoPage::Register()
{
    if (Registered())
        return;
    m_registeredStation = m_station;
    m_registeredAddresses = Addresses();
    CommManager& comm = m_host.Comm();
    comm.AddMonitor(m_station, m_registeredAddresses);
    comm.AddListener(m_station, this);
    m_registered = true;
}

void CInfoPage::Unregister()
{
    if (!m_registered)
        return;
    m_registered = false;
    // A station the manager gave up on has lost every registration already, and the main
    // window may have registered it afresh since: only a page still listening owns its counts.
    CommManager& comm = m_host.Comm();
    if (!comm.IsListener(m_registeredStation, this))
        return;
    comm.RemoveMonitor(m_registeredStation, m_registeredAddresses);
    comm.RemoveListener(m_registeredStation, this);
}

void CInfoPage::ShowTitle()
{
    m_sheet.SetTitle(InfoSheetTitle(Record(), m_host.DeviceName(m_station), m_host.GraphWatch()));
}

void CInfoPage::Attach(int station)
{
    Unregister();
    m_station = station;
    Rebuild();
}

void CInfoPage::Activate()
{
    if (!Connected()) {
        EnableControls(false);
        return;
    }
    ShowTitle();
    if (GraphWatchSuspends() && m_host.GraphWatch()) {
        EnableControls(false);
        return;
    }
    EnableControls(true);
    Register();
}

void CInfoPage::Deactivate()
{
    if (Connected()) {
        ShowTitle();
        EnableControls(!(GraphWatchSuspends() && m_host.GraphWatch()));
    } else {
        EnableControls(false);
    }
    Unregister();
}

void CInfoPage::GraphWatchChanged()
{
    if (!Connected())
        return;
    if (!m_host.GraphWatch())
        Activate();
    else if (Registered())
        Deactivate();
    else
        ShowTitle();
}

void CInfoPage::OnCommMonitor(int station, const CommReply& reply)
{
    if (station != m_station)
        return;
    if (reply.error == kNoError) {
        TakeValues(reply);
    } else if (reply.error == kGiveUp) {
        m_sheet.SetTitle(InfoDisconnectedTitle(station));
        EnableControls(false);
        Lost();
    }
}

// ---- CInfoGen -------------------------------------------------------------------------------

CInfoGen::CInfoGen(CInvInfoPropertySheet& sheet, ToolHost& host, int station)
    : CInfoPage(sheet, host, station)
{
    auto* values = new QGridLayout;
    for (int slot = 0; slot < kGenSlotCount; ++slot) {
        m_captions[slot] = new QLabel(this);
        m_values[slot] = new QLabel(this);
        m_values[slot]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_values[slot]->setMinimumWidth(150);
        const int row = slot % 4;
        const int column = (slot / 4) * 2;
        values->addWidget(m_captions[slot], row, column);
        values->addWidget(m_values[slot], row, column + 1);
    }

    auto* nameRow = new QHBoxLayout;
    m_name = new QLineEdit(this);
    m_name->setMaxLength(kInfoNameMaxLength);
    m_apply = new QPushButton(QStringLiteral("&Apply"), this);
    // Enter on this page is swallowed, so no button may take it as a default.
    m_apply->setAutoDefault(false);
    auto* nameLabel = new QLabel(QStringLiteral("Device &Name:"), this);
    nameLabel->setBuddy(m_name);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(m_name, 1);
    nameRow->addWidget(m_apply);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(values);
    layout->addSpacing(12);
    layout->addLayout(nameRow);
    layout->addStretch(1);

    connect(m_apply, &QPushButton::clicked, this, &CInfoGen::ApplyName);
    Rebuild();
}

std::vector<uint16_t> CInfoGen::Addresses() const
{
    return InfoGenAddresses(Record().model);
}

void CInfoGen::Rebuild()
{
    const int model = Record().model;
    for (int slot = 0; slot < kGenSlotCount; ++slot) {
        m_captions[slot]->setText(InfoGenLabel(slot, model));
        m_values[slot]->clear();
    }
    m_name->setText(m_host.DeviceName(Station()).trimmed());
}

void CInfoGen::EnableControls(bool on)
{
    for (QLabel* value : m_values)
        value->setEnabled(on);
}

void CInfoGen::TakeValues(const CommReply& reply)
{
    const std::vector<uint16_t> shown = Addresses();
    const StationRecord& record = Record();
    for (int i = 0; i < reply.count && i < static_cast<int>(reply.addresses.size()); ++i) {
        if (!Contains(shown, reply.addresses[i]))
            continue;
        if (auto text = InfoGenValueText(record, reply.addresses[i], reply.values[i]))
            m_values[text->slot]->setText(text->text);
    }
}

void CInfoGen::Lost()
{
    for (QLabel* value : m_values)
        value->clear();
}

void CInfoGen::ApplyName()
{
    const int station = Station();
    const auto name = InfoNameToApply(m_name->text(), m_host.DeviceName(station));
    if (!name)
        return;
    m_name->setText(*name);
    m_host.SetDeviceName(station, *name);
    if (Connected())
        ShowTitle();
    m_host.DeviceNameChanged(station);
}

// ---- CInfoBitPage ---------------------------------------------------------------------------

QCheckBox* CInfoBitPage::MakeBox(QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    // A lamp, not a switch: the state comes from the inverter only.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

void CInfoBitPage::ShowGroup(int firstBox, int boxCount, const std::vector<InfoBitBox>& items)
{
    for (int k = 0; k < boxCount; ++k) {
        QCheckBox* box = m_boxes.at(firstBox + k);
        box->setChecked(false);
        const bool used = k < static_cast<int>(items.size());
        box->setText(used ? items[k].text : QString());
        box->setHidden(!used);
        if (used) {
            m_items.push_back(items[k]);
            m_itemBox.push_back(firstBox + k);
        }
    }
}

void CInfoBitPage::EnableControls(bool on)
{
    for (QCheckBox* box : m_boxes)
        box->setEnabled(on);
}

void CInfoBitPage::TakeValues(const CommReply& reply)
{
    const std::vector<uint16_t> shown = Addresses();
    std::vector<bool> states(m_items.size());
    for (size_t i = 0; i < m_items.size(); ++i)
        states[i] = m_boxes[m_itemBox[i]]->isChecked();
    for (int i = 0; i < reply.count && i < static_cast<int>(reply.addresses.size()); ++i)
        if (Contains(shown, reply.addresses[i]))
            InfoApplyWord(m_items, reply.addresses[i], reply.values[i], states);
    for (size_t i = 0; i < m_items.size(); ++i)
        m_boxes[m_itemBox[i]]->setChecked(states[i]);
}

// ---- CInfoIO --------------------------------------------------------------------------------

CInfoIO::CInfoIO(CInvInfoPropertySheet& sheet, ToolHost& host, int station)
    : CInfoBitPage(sheet, host, station)
{
    auto* inputs = new QGroupBox(QStringLiteral("Input Terminal"), this);
    auto* outputs = new QGroupBox(QStringLiteral("Output Terminal"), this);
    auto* inputLayout = new QGridLayout(inputs);
    auto* outputLayout = new QGridLayout(outputs);
    for (int i = 0; i < kInfoInputBoxes; ++i) {
        m_boxes.push_back(MakeBox(inputs));
        inputLayout->addWidget(m_boxes.back(), i % 6, i / 6);
    }
    for (int i = 0; i < kInfoOutputBoxes; ++i) {
        m_boxes.push_back(MakeBox(outputs));
        outputLayout->addWidget(m_boxes.back(), i % 4, i / 4);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(inputs);
    layout->addWidget(outputs);
    layout->addStretch(1);
    Rebuild();
}

std::vector<uint16_t> CInfoIO::Addresses() const
{
    return InfoIOAddresses();
}

void CInfoIO::Rebuild()
{
    m_items.clear();
    m_itemBox.clear();
    std::vector<InfoBitBox> inputs, outputs;
    if (Connected()) {
        const StationRecord& r = Record();
        inputs = InfoInputBoxes(r.model, r.version);
        outputs = InfoOutputBoxes(r.model, r.version);
    }
    ShowGroup(0, kInfoInputBoxes, inputs);
    ShowGroup(kInfoInputBoxes, kInfoOutputBoxes, outputs);
}

// ---- CInfoFault -----------------------------------------------------------------------------

CInfoFault::CInfoFault(CInvInfoPropertySheet& sheet, ToolHost& host, int station)
    : CInfoBitPage(sheet, host, station)
{
    auto* group = new QGroupBox(QStringLiteral("Fault"), this);
    auto* grid = new QGridLayout(group);
    for (int i = 0; i < kInfoFaultBoxes; ++i) {
        m_boxes.push_back(MakeBox(group));
        grid->addWidget(m_boxes.back(), i % 10, i / 10);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);
    Rebuild();
}

std::vector<uint16_t> CInfoFault::Addresses() const
{
    const StationRecord& r = Record();
    return InfoFaultAddresses(r.model, r.version);
}

void CInfoFault::Rebuild()
{
    m_items.clear();
    m_itemBox.clear();
    const StationRecord& r = Record();
    ShowGroup(0, kInfoFaultBoxes, InfoFaultBoxes(r.model, r.version));
}

void CInfoFault::GraphWatchChanged()
{
    // Fault bits stay registered in graph watch mode; only the title tells the mode.
    if (Connected())
        ShowTitle();
}

// ---- CInvInfoPropertySheet ------------------------------------------------------------------

CInvInfoPropertySheet::CInvInfoPropertySheet(ToolHost& host, int station, QWidget* parent)
    : QDialog(parent), m_host(host), m_station(station)
{
    setModal(false);
    setWindowTitle(QStringLiteral("Inverter Information"));

    m_tabs = new QTabWidget(this);
    m_general = new CInfoGen(*this, host, station);
    m_terminals = new CInfoIO(*this, host, station);
    m_faults = new CInfoFault(*this, host, station);
    m_tabs->addTab(m_general, QStringLiteral("Running Status Information"));
    m_tabs->addTab(m_terminals, QStringLiteral("Terminal Information"));
    m_tabs->addTab(m_faults, QStringLiteral("Fault Information"));

    m_close = new QPushButton(QStringLiteral("&Close"), this);
    m_close->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    // The close request is posted: the button's own click handling finishes first.
    connect(m_close, &QPushButton::clicked, this,
            [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CInvInfoPropertySheet::PageChanged);

    m_active = m_general;
    m_active->Activate();
}

CInvInfoPropertySheet::~CInvInfoPropertySheet()
{
    // The pages go while this object is whole: page changes during their deletion must not
    // reach it.
    disconnect(m_tabs, nullptr, this, nullptr);
    for (CInfoPage* page : Pages())
        page->Unregister();
    m_active = nullptr;
    delete m_tabs;
}

std::array<CInfoPage*, 3> CInvInfoPropertySheet::Pages() const
{
    return {m_general, m_terminals, m_faults};
}

CInfoPage* CInvInfoPropertySheet::CurrentPage() const
{
    return qobject_cast<CInfoPage*>(m_tabs->currentWidget());
}

void CInvInfoPropertySheet::PageChanged(int)
{
    CInfoPage* next = CurrentPage();
    if (next == m_active)
        return;
    if (m_active)
        m_active->Deactivate();
    m_active = next;
    if (m_active)
        m_active->Activate();
}

void CInvInfoPropertySheet::Attach(int station)
{
    if (station == m_station) {
        Refresh();
        return;
    }
    m_station = station;
    for (CInfoPage* page : Pages())
        page->Attach(station);
    // Only the visible page registers for the new station.
    if (m_active)
        m_active->Activate();
}

void CInvInfoPropertySheet::Refresh()
{
    if (m_active)
        m_active->Activate();
}

void CInvInfoPropertySheet::GraphWatchChanged()
{
    if (m_active)
        m_active->GraphWatchChanged();
}

void CInvInfoPropertySheet::done(int result)
{
    m_closed = true;
    for (CInfoPage* page : Pages())
        page->Unregister();
    QDialog::done(result);
    deleteLater();
}

void CInvInfoPropertySheet::keyPressEvent(QKeyEvent* event)
{
    // On the running-status page Enter and Esc do not close the sheet.
    if (m_active == m_general) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

// ---- InfoSheetOwner -------------------------------------------------------------------------

InfoSheetOwner::~InfoSheetOwner()
{
    Close();
}

bool InfoSheetOwner::Show(int station)
{
    if (station < 1 || station >= kFirstOfflineSlot)
        return false;
    const StationRecord& r = m_host.Record(station);
    if (!(r.present && r.connected))
        return false;
    if (m_sheet && m_sheet->Closed())
        Close();
    if (m_sheet)
        m_sheet->Attach(station);
    else
        m_sheet = new CInvInfoPropertySheet(m_host, station, m_parent.data());
    m_sheet->setWindowState(m_sheet->windowState() & ~Qt::WindowMinimized);
    m_sheet->show();
    m_sheet->raise();
    m_sheet->activateWindow();
    return true;
}

void InfoSheetOwner::GraphWatchChanged()
{
    if (m_sheet && !m_sheet->Closed())
        m_sheet->GraphWatchChanged();
}

void InfoSheetOwner::Close()
{
    delete m_sheet.data();
}

}  // namespace vm
