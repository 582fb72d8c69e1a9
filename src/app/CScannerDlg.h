#pragma once

#include "app/AnchoredControls.h"
#include "commands/DeviceSettings.h"
#include "commands/Submit.h"
#include "devices/ColumnOrdering.h"
#include "discovery/Discovery.h"
#include "i18n/InterfaceTexts.h"
#include "i18n/LanguageLoader.h"
#include "platform/NamedLock.h"
#include "store/MemoryWriter.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QFont>
#include <QIcon>

#include <array>
#include <cstdint>
#include <map>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace quillon::app {

class DeviceListFilter;
class DeviceListMenu;
class DeviceListModel;
class IpAddressEdit;
class StatusLine;

// The program's one window: the device list on the left, the selected device's settings on the
// right, the help text and the three command buttons below. Widgets and handlers only: its
// discovery finds the devices; the window starts it when it opens and closes it before it goes.
class CScannerDlg : public QDialog, public i18n::LanguageTarget {
    Q_OBJECT
public:
    CScannerDlg(i18n::InterfaceTexts& texts, platform::NamedLock& listLock, QWidget* parent = nullptr);
    ~CScannerDlg() override;

    // Remote sites searched beside this computer's LANs for this run only (quillon --site HOST),
    // besides those the Sites dialog remembers. Before DoModal.
    void SetSitesOfThisRun(const QStringList& hosts) { sitesOfThisRun_ = hosts; }

    // Opens the window and runs it until it closes.
    int DoModal();

    bool OnInitDialog();
    // Reads and checks the Name and Port fields as typed; on a failure the user is told, the
    // field gets the focus, and false returns.
    bool ReadFields();
    QString AddressHeldQuestion(const devices::Device& holder, const wire::Ipv4& address);
    void OnCancel();

    // The event handlers.
    void OnAbout();
    void OnSubmit();
    void OnSearchDevice();
    void OnDhcp();
    void OnStatic();
    void OnDeviceListClick(int row);
    void OnDeviceListColumnClick(int column);
    void OnDeviceListDoubleClick();
    // Added to the template's window: the filter, the list that keeps searching, the columns.
    void OnFilterChanged(const QString& text);
    void OnKeepSearching(bool on);
    void OnRememberSites(bool on);
    void OnShowMissing(bool on);
    // Asks for the site's name for the devices found from now on.
    void AskSiteName();
    // Asks for the remote sites to search, one host a line, remembers them and searches again.
    void AskSites();
    // A search of the list that keeps searching: every kLiveSearchInterval while it is on.
    void OnLiveSearch();
    void ShowColumn(devices::Column column, bool shown);

    void SetControlText(i18n::TextId id, const QString& text) override;
    void SetHelpText(const QString& text) override;

    const devices::DeviceStore& Devices() { return discovery_.Devices(); }
    QMenu* WindowMenu() const { return windowMenu_; }
    QAction* KeepSearchingAction() const { return keepSearching_; }
    QAction* RememberSitesAction() const { return rememberSites_; }
    QAction* ShowMissingAction() const { return showMissing_; }
    DeviceListMenu& ListMenu() const { return *listMenu_; }

protected:
    void reject() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateControls();
    void ConnectEventTable();
    void SetFonts();
    void CreateColumns();
    void CreateWindowMenu();
    void EmptyPortField();
    void ShowDeviceSettings(const commands::DeviceSettings& settings);
    void ShowNameMacAndPort(const QString& name, const QString& macText, int port);
    void OpenDeviceListMenu(int row, QPoint globalPosition);
    void SetAddressFieldsEnabled(bool enabled);
    void ScheduleListRefresh();
    void RefreshDeviceList();
    void PrefillEmptyPort();
    void AnchorControls();
    void CreateFilter();
    void CreateShortcuts();
    void FollowVisualTabOrder();
    void RestoreSettings();
    void OpenColumnMenu(QPoint globalPosition);
    void ShowFilter();
    void CloseFilter();
    // The list model's row of a row the view shows; -1 for none.
    int ModelRow(int viewRow) const;
    int ModelRow(const QModelIndex& viewIndex) const;
    void OpenCurrentRowsWebPage();
    void ShowCounts();
    void RepeatLiveSearch();
    void RepaintDetailsWhileShown();
    void JournalChange(const wire::MacAddress& mac, const QString& outcome);
    // The sites of this run and the remembered ones, each once, to the discovery.
    void UseSites();
    // "site HOST: searching", "site HOST: connecting", "site HOST: why it failed".
    QStringList SiteStates() const;

    i18n::InterfaceTexts& texts_;
    i18n::LanguageLoader languageLoader_;

    // Controls, named by what they hold.
    IpAddressEdit* ipField_ = nullptr;
    IpAddressEdit* netmaskField_ = nullptr;
    IpAddressEdit* gatewayField_ = nullptr;
    IpAddressEdit* dns1Field_ = nullptr;
    IpAddressEdit* dns2Field_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QLineEdit* macField_ = nullptr;
    QRadioButton* staticButton_ = nullptr;
    QRadioButton* dhcpButton_ = nullptr;
    QTreeView* deviceList_ = nullptr;
    QPushButton* submitButton_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QLabel* helpText_ = nullptr;
    QLineEdit* filterField_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    std::map<i18n::TextId, QLabel*> labels_;
    QMenu* windowMenu_ = nullptr;
    DeviceListMenu* listMenu_ = nullptr;

    QString shownName_; // what the Name field was given: a name still equal to it is untouched
    int port_ = 0;      // what the Port field stands for: it shows 0 as empty
    // The device clicked or reached with the keyboard, by MAC address; none after a search.
    std::optional<wire::MacAddress> chosenDevice_;
    bool listKeyPressing_ = false; // the device list is handling a key press

    QIcon icon_;
    QFont labelFont_;
    QFont fieldFont_;

    static constexpr qint64 kListRefreshInterval = 8; // ms: half a frame
    DeviceListModel* model_ = nullptr;
    DeviceListFilter* filter_ = nullptr; // between the model and the view
    AnchoredControls anchored_;
    QSize firstSize_;
    QAction* keepSearching_ = nullptr;
    QAction* rememberSites_ = nullptr;
    QAction* siteName_ = nullptr;
    QAction* showMissing_ = nullptr;
    QStringList sitesOfThisRun_;
    QStringList sitesShown_; // as the status line last showed them
    QTimer sitesWatch_;
    QTimer liveSearch_;
    QTimer liveRepeat_;
    int liveRepeatsLeft_ = 0;
    // Details (last seen, offline) change without a row changing: shown ones are repainted.
    QTimer detailsRepaint_;
    static constexpr int kDetailsRepaintInterval = 1000; // ms
    QTimer listRefresh_;
    QElapsedTimer lastListRefresh_;
    devices::ColumnOrdering ordering_;
    std::array<std::uint8_t, protocol::kShortFormSendBufferSize> shortFormSendBuffer_{};

    discovery::Discovery discovery_;
    // After the discovery, whose table it reads: it goes first.
    std::unique_ptr<store::MemoryWriter> memoryWriter_;
    // The change sent last, for the journal once it ended: the device, its site, what changed.
    struct SentChange {
        wire::MacAddress mac;
        QString site;
        commands::SentChanges changes;
    };
    std::optional<SentChange> sentChange_;
    bool closing_ = false;
};

} // namespace quillon::app
