#pragma once
// The modeless "Inverter Information" sheet: running status with the device name, terminal
// states and fault bits of one connected station. Only the visible page is registered with the
// communication manager; switching pages, moving the sheet to another station and closing it
// hand the registrations back.

#include "catalogue/StationRecord.h"
#include "comm/CommManager.h"
#include "frames/ToolHost.h"
#include "monitor/InfoSheetLogic.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace vm {

class CInvInfoPropertySheet;

// What the three pages share: the station, registration with the manager, activation.
class CInfoPage : public QWidget, public CommClient {
    Q_OBJECT
public:
    CInfoPage(CInvInfoPropertySheet& sheet, ToolHost& host, int station);
    ~CInfoPage() override;

    int Station() const { return m_station; }
    // True while the page's addresses and the page itself are registered for its station.
    bool Registered() const;

    // Drops the registration, takes the station and rebuilds the page for it.
    void Attach(int station);
    // Becomes or stops being the visible page.
    void Activate();
    void Deactivate();
    virtual void GraphWatchChanged();
    void Unregister();

    void OnCommMonitor(int station, const CommReply& reply) override;

protected:
    StationRecord& Record() const { return m_host.Record(m_station); }
    bool Connected() const;
    // The addresses this page registers for its station.
    virtual std::vector<uint16_t> Addresses() const = 0;
    // Captions and boxes for the station's model and version.
    virtual void Rebuild() = 0;
    virtual void EnableControls(bool on) = 0;
    virtual void TakeValues(const CommReply& reply) = 0;
    virtual void Lost() {}
    // Whether graph watch mode suspends the page.
    virtual bool GraphWatchSuspends() const { return true; }
    void Register();
    void ShowTitle();

    CInvInfoPropertySheet& m_sheet;
    ToolHost& m_host;

private:
    int m_station;
    bool m_registered = false;
    int m_registeredStation = 0;
    std::vector<uint16_t> m_registeredAddresses;
};

// "Running Status Information": eight live values and the device name.
class CInfoGen : public CInfoPage {
    Q_OBJECT
public:
    CInfoGen(CInvInfoPropertySheet& sheet, ToolHost& host, int station);

    QLabel* Caption(int slot) const { return m_captions[slot]; }
    QLabel* Value(int slot) const { return m_values[slot]; }
    QLineEdit* NameEdit() const { return m_name; }
    QPushButton* ApplyButton() const { return m_apply; }
    // "&Apply": stores a changed name and tells the main window.
    void ApplyName();

protected:
    std::vector<uint16_t> Addresses() const override;
    void Rebuild() override;
    void EnableControls(bool on) override;
    void TakeValues(const CommReply& reply) override;
    void Lost() override;

private:
    std::array<QLabel*, kGenSlotCount> m_captions{};
    std::array<QLabel*, kGenSlotCount> m_values{};
    QLineEdit* m_name = nullptr;
    QPushButton* m_apply = nullptr;
};

// Check boxes following bits of monitored words; the terminal and fault pages.
class CInfoBitPage : public CInfoPage {
    Q_OBJECT
public:
    using CInfoPage::CInfoPage;
    // Box i of the page in screen order (inputs before outputs on the terminal page).
    QCheckBox* Box(int i) const { return m_boxes.at(i); }
    int BoxCount() const { return static_cast<int>(m_boxes.size()); }
    // The boxes in use (the others are hidden) and what they follow.
    const std::vector<InfoBitBox>& Items() const { return m_items; }

protected:
    // Puts the boxes of one group on screen; box index in m_boxes for each of items.
    void ShowGroup(int firstBox, int boxCount, const std::vector<InfoBitBox>& items);
    void EnableControls(bool on) override;
    void TakeValues(const CommReply& reply) override;
    static QCheckBox* MakeBox(QWidget* parent);

    std::vector<QCheckBox*> m_boxes;
    std::vector<InfoBitBox> m_items;
    std::vector<int> m_itemBox;  // m_boxes index of each item
};

// "Terminal Information": 11 input and 8 output terminal boxes.
class CInfoIO : public CInfoBitPage {
    Q_OBJECT
public:
    CInfoIO(CInvInfoPropertySheet& sheet, ToolHost& host, int station);
    QCheckBox* InputBox(int i) const { return Box(i); }
    QCheckBox* OutputBox(int i) const { return Box(kInfoInputBoxes + i); }

protected:
    std::vector<uint16_t> Addresses() const override;
    void Rebuild() override;
};

// "Fault Information": 20 fault bit boxes.
class CInfoFault : public CInfoBitPage {
    Q_OBJECT
public:
    CInfoFault(CInvInfoPropertySheet& sheet, ToolHost& host, int station);
    void GraphWatchChanged() override;

protected:
    std::vector<uint16_t> Addresses() const override;
    void Rebuild() override;
    bool GraphWatchSuspends() const override { return false; }
};

// The sheet itself. Closing it ("&Close", Esc outside the running-status page, the window's
// close button) unregisters every page at once and deletes the sheet later.
class CInvInfoPropertySheet : public QDialog {
    Q_OBJECT
public:
    enum Page : int { kPageGeneral, kPageTerminals, kPageFaults };

    CInvInfoPropertySheet(ToolHost& host, int station, QWidget* parent = nullptr);
    ~CInvInfoPropertySheet() override;

    int Station() const { return m_station; }
    // Moves every page to another station.
    void Attach(int station);
    // Graph watch mode was switched: the visible page follows.
    void GraphWatchChanged();
    // Re-activates the visible page (it may have lost its registration with its station).
    void Refresh();
    // Closed and waiting to be deleted.
    bool Closed() const { return m_closed; }

    CInfoGen& General() const { return *m_general; }
    CInfoIO& Terminals() const { return *m_terminals; }
    CInfoFault& Faults() const { return *m_faults; }
    QTabWidget& Tabs() const { return *m_tabs; }
    QPushButton& CloseButton() const { return *m_close; }
    CInfoPage* CurrentPage() const;
    void SetTitle(const QString& title) { setWindowTitle(title); }

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PageChanged(int index);
    std::array<CInfoPage*, 3> Pages() const;

    ToolHost& m_host;
    int m_station;
    QTabWidget* m_tabs = nullptr;
    CInfoGen* m_general = nullptr;
    CInfoIO* m_terminals = nullptr;
    CInfoFault* m_faults = nullptr;
    QPushButton* m_close = nullptr;
    CInfoPage* m_active = nullptr;
    bool m_closed = false;
};

// The main window's hold on the one sheet. Destroy it before the communication manager.
class InfoSheetOwner {
public:
    InfoSheetOwner(ToolHost& host, QWidget* parent = nullptr) : m_host(host), m_parent(parent) {}
    ~InfoSheetOwner();
    InfoSheetOwner(const InfoSheetOwner&) = delete;
    InfoSheetOwner& operator=(const InfoSheetOwner&) = delete;

    // "&Information...": opens the sheet for a present and connected station, or moves the open
    // sheet to it, and brings it to the top. False (nothing done) for any other station.
    bool Show(int station);
    // Pass graph watch switches on; nothing when no sheet is open.
    void GraphWatchChanged();
    // Closes an open sheet now.
    void Close();
    // The open sheet, or null once it has been closed.
    CInvInfoPropertySheet* Sheet() const { return m_sheet.data(); }

private:
    ToolHost& m_host;
    QPointer<QWidget> m_parent;
    QPointer<CInvInfoPropertySheet> m_sheet;
};

}  // namespace vm
