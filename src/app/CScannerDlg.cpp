#include "app/CScannerDlg.h"

#include "app/CAboutDlg.h"
#include "app/DeviceListFilter.h"
#include "app/DeviceListMenu.h"
#include "app/DeviceListModel.h"
#include "app/DialogUnits.h"
#include "app/FrameOnTop.h"
#include "app/IpAddressEdit.h"
#include "app/ProductInfo.h"
#include "app/StatusLine.h"
#include "app/UiLock.h"
#include "commands/DeviceSettings.h"
#include "commands/Submit.h"
#include "platform/Interfaces.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "protocol/DeviceTexts.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>


// The icons are compiled into the GUI library; a static library must ask for them by name.
static void LoadCompiledResources()
{
    Q_INIT_RESOURCE(quillon);
}

namespace quillon::app {

using i18n::TextId;

namespace {

constexpr int kNameLimit = 18;
constexpr int kHighestPort = 65535;

const QString kTemplateHelpText = QString::fromUtf8(
    "To Change Device Name, IP address, and Gateway:\n"
    "1.Select the device on the left side.\n"
    "2.Change network parameter on the right side.\n"
    "3.Press Submit button.\n"
    "4.Press \u201cSearch Device\u201d to re-search again.\n"
    "5.Double click the device to open it.");

const QString kAboutMenuText = QStringLiteral("About Quillon(&A)...");

// What the window remembers for the user.
const QString kSizeSetting = QStringLiteral("window/size");
const QString kColumnsSetting = QStringLiteral("list/columns");
const QString kKeepSearchingSetting = QStringLiteral("list/keepSearching");
const QString kRememberSitesSetting = QStringLiteral("memory/rememberSites");
const QString kShowMissingSetting = QStringLiteral("memory/showMissing");
const QString kSitesSetting = QStringLiteral("sites/hosts");
constexpr std::chrono::milliseconds kSitesWatchInterval{250};

struct DetailColumn {
    devices::Column column;
    const char* key;    // its name among the remembered columns
    const char* widest; // a text as wide as its cells get
};
constexpr DetailColumn kDetailColumns[] = {
    {devices::Column::Mac, "mac", "00:00:00:00:00:00"},
    {devices::Column::Port, "port", "65535"},
    {devices::Column::Mode, "mode", "Static"},
    {devices::Column::Card, "card", "enp0s31f6"},
    {devices::Column::LastSeen, "last_seen", "offline since 00:00"},
};

// Drawn from PNG sizes, so that no SVG support is needed at run time.
QIcon ProgramIcon()
{
    LoadCompiledResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quillon-%1.png").arg(size), QSize(size, size));
    return icon;
}

// The largest "Arial" whose cell (ascent plus descent) is at most `cellHeight` pixels.
QFont FontWithCellHeight(const QString& family, int cellHeight)
{
    QFont font(family);
    for (int size = cellHeight; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cellHeight)
            break;
    }
    return font;
}

// A radio button that answers a click anywhere in its rectangle, not only on its text.
class RadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

// The device list, which marks the time it spends on a key press (typed text included), so that
// the window can tell the selection the keyboard moves from the selection a click or the rows'
// refresh moves.
// Enter on a row opens its device's web page, as a double click does, instead of pressing the
// default button.
class DeviceListView : public QTreeView {
public:
    DeviceListView(bool& keyPressing, std::function<void()> onEnter, QWidget* parent)
        : QTreeView(parent), keyPressing_(keyPressing), onEnter_(std::move(onEnter))
    {
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
            onEnter_();
            return;
        }
        const QScopedValueRollback marking(keyPressing_, true);
        QTreeView::keyPressEvent(event);
    }
    void inputMethodEvent(QInputMethodEvent* event) override
    {
        const QScopedValueRollback marking(keyPressing_, true);
        QTreeView::inputMethodEvent(event);
    }

private:
    bool& keyPressing_;
    std::function<void()> onEnter_;
};

int ParsePort(const QString& text, bool* ok)
{
    const QString trimmed = text.trimmed();
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    *ok = integer.match(trimmed).hasMatch();
    return *ok ? trimmed.toInt(ok) : 0;
}

} // namespace

CScannerDlg::CScannerDlg(i18n::InterfaceTexts& texts, platform::NamedLock& listLock, QWidget* parent)
    : QDialog(parent),
      texts_(texts),
      languageLoader_(texts, *this),
      icon_(ProgramIcon()),
      discovery_(listLock, [this](int) { QMetaObject::invokeMethod(this, [this] { OnCancel(); }, Qt::QueuedConnection); })
{
    setObjectName(QStringLiteral("scannerWindow"));
    setWindowTitle(kWindowCaption);
    // Its own task-bar entry as a window without parent. It opens at the size its controls were
    // placed for, and never gets smaller.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    firstSize_ = DialogUnits(font()).Size(393, 345);
    setMinimumSize(firstSize_);
    resize(firstSize_);
    CreateControls();
    CreateFilter();
    AnchorControls();
    ConnectEventTable();
    CreateWindowMenu();
    CreateShortcuts();
    FollowVisualTabOrder();
    listRefresh_.setSingleShot(true);
    connect(&listRefresh_, &QTimer::timeout, this, [this] {
        lastListRefresh_.start();
        RefreshDeviceList();
    });
    discovery_.Rows().SetChangeListener(
        [this] { QMetaObject::invokeMethod(this, [this] { ScheduleListRefresh(); }, Qt::QueuedConnection); });
    liveSearch_.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(discovery::Discovery::kLiveSearchInterval));
    connect(&liveSearch_, &QTimer::timeout, this, &CScannerDlg::OnLiveSearch);
    liveRepeat_.setInterval(discovery::kSearchRepeatInterval);
    connect(&liveRepeat_, &QTimer::timeout, this, &CScannerDlg::RepeatLiveSearch);
    sitesWatch_.setInterval(kSitesWatchInterval);
    connect(&sitesWatch_, &QTimer::timeout, this, [this] {
        if (SiteStates() != sitesShown_)
            ShowCounts();
    });
    detailsRepaint_.setInterval(kDetailsRepaintInterval);
    connect(&detailsRepaint_, &QTimer::timeout, this, [this] {
        deviceList_->viewport()->update();
        ShowCounts();
    });
}

CScannerDlg::~CScannerDlg()
{
    discovery_.Stop(); // the receivers may still post to the window
}

int CScannerDlg::DoModal()
{
    OnInitDialog();
    return exec();
}

// ---- Controls ------------------------------------------------------------------------------

void CScannerDlg::CreateControls()
{
    const DialogUnits units(font());
    auto label = [&](TextId id, const char* name, const QString& text, QRect rect) {
        auto* control = new QLabel(text, this);
        control->setObjectName(QLatin1String(name));
        control->setTextFormat(Qt::PlainText);
        control->setGeometry(rect);
        labels_[id] = control;
        return control;
    };
    auto ipControl = [&](const char* name, QRect rect) {
        auto* control = new IpAddressEdit(this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(rect);
        return control;
    };
    auto button = [&](const char* name, const QString& text, QRect rect) {
        auto* control = new QPushButton(text, this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(rect);
        return control;
    };
    auto edit = [&](const char* name, QRect rect) {
        auto* control = new QLineEdit(this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(rect);
        control->setAlignment(Qt::AlignCenter);
        return control;
    };
    auto radio = [&](const char* name, const QString& text, QRect rect) {
        auto* control = new RadioButton(text, this);
        control->setObjectName(QLatin1String(name));
        control->setGeometry(rect);
        control->setAutoExclusive(false); // each button is a group of its own
        control->setFocusPolicy(Qt::ClickFocus);
        return control;
    };

    // In the window's order, which is also the tab order.
    ipField_ = ipControl("ipField", units.Rect(287, 69, 92, 14));
    submitButton_ = button("submitButton", QStringLiteral("Submit"), units.Rect(329, 236, 50, 14));
    submitButton_->setDefault(true);
    label(TextId::Ip, "ipLabel", QStringLiteral("IP"), units.Rect(216, 71, 63, 13));
    label(TextId::DeviceLists, "deviceListsLabel", QStringLiteral("Device lists:"), units.Rect(9, 7, 92, 12));
    helpText_ = new QLabel(kTemplateHelpText, this);
    helpText_->setObjectName(QStringLiteral("helpText"));
    helpText_->setTextFormat(Qt::PlainText);
    helpText_->setWordWrap(true);
    helpText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    helpText_->setGeometry(units.Rect(7, 266, 282, 66));
    searchButton_ = button("searchButton", QStringLiteral("Search Device"), units.Rect(145, 242, 66, 14));
    label(TextId::Mac, "macLabel", QStringLiteral("MAC"), units.Rect(216, 180, 65, 14));
    label(TextId::Gateway, "gatewayLabel", QStringLiteral("Gateway"), units.Rect(216, 106, 65, 12));
    gatewayField_ = ipControl("gatewayField", units.Rect(287, 105, 92, 14));
    label(TextId::Name, "nameLabel", QStringLiteral("Name"), units.Rect(216, 53, 66, 13));
    macField_ = edit("macField", units.Rect(287, 178, 92, 14));
    macField_->setReadOnly(true);
    nameField_ = edit("nameField", units.Rect(287, 51, 92, 14));
    nameField_->setMaxLength(kNameLimit);
    exitButton_ = button("exitButton", QStringLiteral("Exit"), units.Rect(333, 304, 50, 14));
    label(TextId::Netmask, "netmaskLabel", QStringLiteral("Netmask"), units.Rect(216, 89, 65, 12));
    netmaskField_ = ipControl("netmaskField", units.Rect(287, 87, 92, 14));
    label(TextId::Port1, "portLabel", QStringLiteral("Port1"), units.Rect(216, 162, 67, 12));
    portField_ = edit("portField", units.Rect(287, 160, 92, 14));
    portField_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), portField_));
    dns1Field_ = ipControl("dns1Field", units.Rect(287, 123, 92, 14));
    dns2Field_ = ipControl("dns2Field", units.Rect(287, 141, 92, 14));
    label(TextId::Dns1, "dns1Label", QStringLiteral("DNS 1"), units.Rect(216, 125, 65, 12));
    label(TextId::Dns2, "dns2Label", QStringLiteral("DNS 2"), units.Rect(216, 144, 65, 13));
    staticButton_ = radio("staticButton", QStringLiteral("Static"), units.Rect(309, 9, 73, 19));
    dhcpButton_ = radio("dhcpButton", QStringLiteral("DHCP"), units.Rect(310, 32, 60, 12));

    deviceList_ = new DeviceListView(listKeyPressing_, [this] { OpenCurrentRowsWebPage(); }, this);
    deviceList_->setObjectName(QStringLiteral("deviceList"));
    deviceList_->setGeometry(units.Rect(7, 24, 205, 212));
    deviceList_->setRootIsDecorated(false);
    deviceList_->setItemsExpandable(false);
    deviceList_->setUniformRowHeights(true);
    deviceList_->setAllColumnsShowFocus(true);
    deviceList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    deviceList_->setSelectionMode(QAbstractItemView::SingleSelection);
    deviceList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    deviceList_->header()->setSectionsClickable(true);
    deviceList_->header()->setSectionsMovable(false);
    deviceList_->header()->setStretchLastSection(false);
    deviceList_->viewport()->installEventFilter(this);
    KeepFrameOnTop(*deviceList_);
    model_ = new DeviceListModel(this);
    model_->ReadDevicesFrom(discovery_.Devices());
    filter_ = new DeviceListFilter(*model_, this);
    deviceList_->setModel(filter_);
    listMenu_ = new DeviceListMenu(discovery_.Devices(), *model_, this);
    // A row that moves leaves no selection behind on its neighbours.
    connect(model_, &DeviceListModel::RowLeaving, this, [this](int row) {
        if (ModelRow(deviceList_->currentIndex()) == row)
            deviceList_->selectionModel()->clearCurrentIndex();
    });

    // A screen reader names each field by its label.
    const std::pair<TextId, QWidget*> fields[] = {
        {TextId::Name, nameField_},       {TextId::Ip, ipField_},     {TextId::Netmask, netmaskField_},
        {TextId::Gateway, gatewayField_}, {TextId::Dns1, dns1Field_}, {TextId::Dns2, dns2Field_},
        {TextId::Port1, portField_},      {TextId::Mac, macField_},   {TextId::DeviceLists, deviceList_},
    };
    for (const auto& [id, field] : fields) {
        labels_[id]->setBuddy(field);
        SetControlText(id, labels_[id]->text());
    }

    // In the band no control uses, between the MAC field and Submit.
    statusLine_ = new StatusLine(discovery_, this);
    statusLine_->setGeometry(units.Rect(216, 196, 163, 36));
    connect(model_, &DeviceListModel::rowsInserted, statusLine_, &StatusLine::DevicesListed);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(filter_, signal, this, &CScannerDlg::ShowCounts);
    connect(filter_, &QAbstractItemModel::modelReset, this, &CScannerDlg::ShowCounts);
}

// Above the list, where the "Device lists:" label leaves room; shown while it is used.
void CScannerDlg::CreateFilter()
{
    const DialogUnits units(font());
    filterField_ = new QLineEdit(this);
    filterField_->setObjectName(QStringLiteral("filterField"));
    filterField_->setGeometry(units.Rect(105, 7, 107, 13));
    filterField_->setPlaceholderText(tr("Filter: name, address or MAC"));
    filterField_->setAccessibleName(tr("Filter the device list"));
    filterField_->setClearButtonEnabled(true);
    filterField_->hide();
    filterField_->installEventFilter(this);
    connect(filterField_, &QLineEdit::textChanged, this, &CScannerDlg::OnFilterChanged);
}

// The list takes the room the window gains; the settings column keeps to the right edge, the
// help text to the bottom left corner, Search Device to the list's bottom right, Exit to the
// window's.
void CScannerDlg::AnchorControls()
{
    using Edge = AnchoredControls::Edge;
    anchored_.Anchor(deviceList_, Edge::Left | Edge::Top | Edge::Right | Edge::Bottom);
    anchored_.Anchor(filterField_, Edge::Left | Edge::Top | Edge::Right);
    anchored_.Anchor(helpText_, Edge::Left | Edge::Bottom);
    anchored_.Anchor(searchButton_, Edge::Right | Edge::Bottom);
    anchored_.Anchor(exitButton_, Edge::Right | Edge::Bottom);
    const std::initializer_list<QWidget*> settingsColumn = {
        ipField_,    netmaskField_, gatewayField_, dns1Field_, dns2Field_,    nameField_,   portField_,
        macField_,   staticButton_, dhcpButton_,   statusLine_, submitButton_,
    };
    for (QWidget* control : settingsColumn)
        anchored_.Anchor(control, Edge::Top | Edge::Right);
    for (const auto& [id, label] : labels_)
        if (id != TextId::DeviceLists)
            anchored_.Anchor(label, Edge::Top | Edge::Right);
}

void CScannerDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    anchored_.Place(event->size() - firstSize_);
}

// The keys added to the template's: F5 and Ctrl+R search, Ctrl+F filters.
void CScannerDlg::CreateShortcuts()
{
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &CScannerDlg::OnSearchDevice);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, &CScannerDlg::ShowFilter);
}

// Down the list's side, then down the settings, then Exit.
void CScannerDlg::FollowVisualTabOrder()
{
    QWidget* const order[] = {filterField_, deviceList_, searchButton_, nameField_, ipField_,     netmaskField_, gatewayField_,
                              dns1Field_,   dns2Field_,  portField_,    macField_,  submitButton_, exitButton_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CScannerDlg::SetControlText(TextId id, const QString& text)
{
    auto accessibleName = [&](const QString& label) { return QString(label).remove(u'&').remove(u':'); };
    switch (id) {
    case TextId::Static:
        staticButton_->setText(text);
        return;
    case TextId::Dhcp:
        dhcpButton_->setText(text);
        return;
    case TextId::SearchDevice:
        searchButton_->setText(text);
        return;
    case TextId::Submit:
        submitButton_->setText(text);
        return;
    case TextId::Exit:
        exitButton_->setText(text);
        return;
    default:
        break;
    }
    const auto found = labels_.find(id);
    if (found == labels_.end())
        return;
    found->second->setText(text);
    if (QWidget* field = found->second->buddy()) {
        if (auto* address = qobject_cast<IpAddressEdit*>(field))
            address->SetAccessibleName(accessibleName(text));
        else
            field->setAccessibleName(accessibleName(text));
    }
}

void CScannerDlg::SetHelpText(const QString& text)
{
    helpText_->setText(text);
}

void CScannerDlg::SetFonts()
{
    labelFont_ = FontWithCellHeight(QStringLiteral("Arial"), 8);
    fieldFont_ = QFont(QStringLiteral("Arial"), 11);
    for (auto& [id, label] : labels_)
        label->setFont(labelFont_);
    for (QWidget* control : std::initializer_list<QWidget*>{helpText_, statusLine_, staticButton_, dhcpButton_, searchButton_,
                                                           submitButton_, exitButton_})
        control->setFont(labelFont_);
    for (IpAddressEdit* address : {ipField_, netmaskField_, gatewayField_, dns1Field_, dns2Field_})
        address->setFont(fieldFont_);
    for (QWidget* control : std::initializer_list<QWidget*>{nameField_, portField_, deviceList_})
        control->setFont(fieldFont_);
}

void CScannerDlg::CreateColumns()
{
    const int width = deviceList_->width(); // the outer width, frame included
    model_->SetColumnTitles(texts_.Text(TextId::ServerName), texts_.Text(TextId::IpAddress));
    deviceList_->setColumnHidden(static_cast<int>(devices::Column::Number), true);
    deviceList_->setColumnWidth(static_cast<int>(devices::Column::Name), width / 2);
    deviceList_->setColumnWidth(static_cast<int>(devices::Column::Address), width / 2);
    for (const DetailColumn& detail : kDetailColumns)
        deviceList_->setColumnHidden(static_cast<int>(detail.column), true);
    // The header's menu chooses the columns after the address; the ordering arrow shows once the
    // user orders the list.
    deviceList_->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(deviceList_->header(), &QHeaderView::customContextMenuRequested, this,
            [this](QPoint at) { OpenColumnMenu(deviceList_->header()->mapToGlobal(at)); });
}

void CScannerDlg::OpenColumnMenu(QPoint globalPosition)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("columnMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const DetailColumn& detail : kDetailColumns) {
        const int section = static_cast<int>(detail.column);
        QAction* action = menu->addAction(model_->headerData(section, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(!deviceList_->isColumnHidden(section));
        connect(action, &QAction::toggled, this, [this, column = detail.column](bool shown) { ShowColumn(column, shown); });
    }
    menu->popup(globalPosition);
}

void CScannerDlg::ShowColumn(devices::Column column, bool shown)
{
    const int section = static_cast<int>(column);
    deviceList_->setColumnHidden(section, !shown);
    QStringList keys;
    for (const DetailColumn& detail : kDetailColumns) {
        if (!deviceList_->isColumnHidden(static_cast<int>(detail.column)))
            keys << QLatin1String(detail.key);
        if (detail.column == column && shown) {
            const QFontMetrics metrics(deviceList_->font());
            const int text = metrics.horizontalAdvance(QLatin1String(detail.widest));
            const int title = deviceList_->header()->fontMetrics().horizontalAdvance(model_->headerData(section, Qt::Horizontal).toString());
            deviceList_->setColumnWidth(section, std::max(text, title) + 2 * metrics.averageCharWidth());
        }
    }
    QSettings().setValue(kColumnsSetting, keys);
    RepaintDetailsWhileShown();
}

void CScannerDlg::RepaintDetailsWhileShown()
{
    const bool detailShown = std::any_of(std::begin(kDetailColumns), std::end(kDetailColumns), [this](const DetailColumn& detail) {
        return !deviceList_->isColumnHidden(static_cast<int>(detail.column));
    });
    if (detailShown || keepSearching_->isChecked() || showMissing_->isChecked())
        detailsRepaint_.start();
    else
        detailsRepaint_.stop();
}

void CScannerDlg::CreateWindowMenu()
{
    windowMenu_ = new QMenu(this);
    windowMenu_->setObjectName(QStringLiteral("windowMenu"));
    windowMenu_->addAction(tr("Mi&nimize"), this, &QWidget::showMinimized);
    windowMenu_->addAction(tr("&Close"), this, &CScannerDlg::OnCancel);
    windowMenu_->addSeparator();
    keepSearching_ = windowMenu_->addAction(tr("&Keep searching"));
    keepSearching_->setObjectName(QStringLiteral("keepSearchingAction"));
    keepSearching_->setCheckable(true);
    connect(keepSearching_, &QAction::toggled, this, &CScannerDlg::OnKeepSearching);
    rememberSites_ = windowMenu_->addAction(tr("&Remember sites"));
    rememberSites_->setObjectName(QStringLiteral("rememberSitesAction"));
    rememberSites_->setCheckable(true);
    connect(rememberSites_, &QAction::toggled, this, &CScannerDlg::OnRememberSites);
    siteName_ = windowMenu_->addAction(tr("Site &name…"), this, &CScannerDlg::AskSiteName);
    siteName_->setObjectName(QStringLiteral("siteNameAction"));
    showMissing_ = windowMenu_->addAction(tr("Show &missing devices"));
    showMissing_->setObjectName(QStringLiteral("showMissingAction"));
    showMissing_->setCheckable(true);
    siteName_->setEnabled(false); // while the window remembers sites
    showMissing_->setEnabled(false);
    connect(showMissing_, &QAction::toggled, this, &CScannerDlg::OnShowMissing);
    windowMenu_->addAction(tr("S&ites…"), this, &CScannerDlg::AskSites)->setObjectName(QStringLiteral("sitesAction"));
    windowMenu_->addAction(tr("&Filter the list") + QLatin1Char('\t') + QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText),
                           this, &CScannerDlg::ShowFilter);
    windowMenu_->addSeparator();
    windowMenu_->addAction(kAboutMenuText, this, &CScannerDlg::OnAbout);
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this, [this] { windowMenu_->popup(mapToGlobal(QPoint(0, 0))); });
}

// ---- Event table ---------------------------------------------------------------------------

void CScannerDlg::ConnectEventTable()
{
    // The window menu's About entry: CreateWindowMenu.
    connect(submitButton_, &QPushButton::clicked, this, &CScannerDlg::OnSubmit);
    connect(listMenu_, &DeviceListMenu::WebPageNotOpened, statusLine_, &StatusLine::Tell);
    connect(listMenu_, &DeviceListMenu::SiteReportSaved, this,
            [this](const QString& path) { statusLine_->Tell(tr("The site report was saved to %1").arg(QDir::toNativeSeparators(path))); });
    connect(searchButton_, &QPushButton::clicked, this, &CScannerDlg::OnSearchDevice);
    connect(dhcpButton_, &QRadioButton::clicked, this, &CScannerDlg::OnDhcp);
    connect(staticButton_, &QRadioButton::clicked, this, &CScannerDlg::OnStatic);
    // Clicks and double clicks on the list: eventFilter, so that a click below the last row
    // counts as well. A key that selects a row (arrows, Home, End, Page Up and Down, a name's first
    // letters, Space) loads its device as a click on it does. Nothing else that moves the
    // selection loads one: a click loads on its release, once, and rows refreshed, moved or
    // ordered and a search never overwrite what the user is typing into the fields.
    connect(deviceList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (listKeyPressing_ && !selected.isEmpty())
                    OnDeviceListClick(ModelRow(selected.constFirst().top()));
            });
    connect(deviceList_->header(), &QHeaderView::sectionClicked, this, &CScannerDlg::OnDeviceListColumnClick);
    connect(exitButton_, &QPushButton::clicked, this, &CScannerDlg::OnCancel);
    connect(statusLine_, &StatusLine::ChangeEnded, this, &CScannerDlg::JournalChange);
}

// Every change sent goes into the site's memory's journal with how it ended, while the window
// remembers sites.
void CScannerDlg::JournalChange(const wire::MacAddress& mac, const QString& outcome)
{
    if (!sentChange_ || sentChange_->mac != mac)
        return;
    const SentChange sent = *std::exchange(sentChange_, std::nullopt);
    if (memoryWriter_ == nullptr)
        return;
    const auto [user, host] = store::CurrentUserAndHost();
    memoryWriter_->Journal({QDateTime::currentDateTimeUtc(), user, host, sent.site, QStringLiteral("window"), mac,
                            sent.changes.before, sent.changes.after, outcome});
}

bool CScannerDlg::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    const bool doubleClick = event->type() == QEvent::MouseButtonDblClick;
    if (watched == filterField_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        CloseFilter();
        return true;
    }
    if (watched == deviceList_->viewport() && event->type() == QEvent::ContextMenu) {
        const auto* request = static_cast<QContextMenuEvent*>(event);
        OpenDeviceListMenu(ModelRow(deviceList_->indexAt(request->pos())), request->globalPos());
        return true;
    }
    if (watched == deviceList_->viewport() && (press || release || doubleClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton)
            return true; // the context menu's click: no row is selected, as no device is
        if (mouse->button() == Qt::LeftButton && release)
            OnDeviceListClick(ModelRow(deviceList_->indexAt(mouse->position().toPoint())));
        else if (mouse->button() == Qt::LeftButton && doubleClick)
            OnDeviceListDoubleClick();
    }
    return QDialog::eventFilter(watched, event);
}

// Controls pass the right clicks they do not use up to the window; the window menu belongs to
// the window's free area only (Alt+Space opens it from anywhere). The status line lies in what
// was free area and leaves it the menu. The menu key on the list opens the list's menu for the
// row the keyboard is on.
void CScannerDlg::contextMenuEvent(QContextMenuEvent* event)
{
    const QWidget* target = childAt(event->pos());
    if (target == nullptr || target == statusLine_) {
        windowMenu_->popup(event->globalPos());
    } else if (event->reason() == QContextMenuEvent::Keyboard && deviceList_->hasFocus()) {
        const QModelIndex current = deviceList_->currentIndex();
        const QPoint at = deviceList_->visualRect(current).center();
        OpenDeviceListMenu(ModelRow(current), deviceList_->viewport()->mapToGlobal(at));
    }
}

void CScannerDlg::OpenDeviceListMenu(int row, QPoint globalPosition)
{
    listMenu_->Create(row)->popup(globalPosition);
}

void CScannerDlg::reject()
{
    OnCancel(); // Escape and the close box
}

// ---- Initialisation and closing ------------------------------------------------------------

bool CScannerDlg::OnInitDialog()
{
    ShowNameMacAndPort({}, {}, 0);
    languageLoader_.ApplyLanguage();
    setWindowIcon(icon_);
    UseSites();
    discovery_.Start();
    statusLine_->SearchStarted();
    EmptyPortField();
    dhcpButton_->hide();
    staticButton_->hide();
    CreateColumns();
    SetFonts();
    RestoreSettings();
    return true;
}

// What the user chose last time: the window's size, the columns shown, whether the list keeps
// searching. None of it changes the window until the user changed it once.
void CScannerDlg::RestoreSettings()
{
    const QSettings settings;
    const QSize size = settings.value(kSizeSetting).toSize();
    if (size.isValid())
        resize(size.expandedTo(firstSize_));
    const QStringList columns = settings.value(kColumnsSetting).toStringList();
    for (const DetailColumn& detail : kDetailColumns)
        if (columns.contains(QLatin1String(detail.key)))
            ShowColumn(detail.column, true);
    keepSearching_->setChecked(settings.value(kKeepSearchingSetting, false).toBool());
    showMissing_->setChecked(settings.value(kShowMissingSetting, false).toBool());
    rememberSites_->setChecked(settings.value(kRememberSitesSetting, true).toBool());
}

// The devices found go to the site's memory from a thread of its own; what it has to say reaches
// the status line.
void CScannerDlg::OnRememberSites(bool on)
{
    QSettings().setValue(kRememberSitesSetting, on);
    memoryWriter_.reset();
    siteName_->setEnabled(on);
    showMissing_->setEnabled(on);
    listMenu_->SetSiteReportSource({});
    if (!on)
        return;
    const QString database = store::DefaultDatabasePath();
    memoryWriter_ = std::make_unique<store::MemoryWriter>(discovery_.Devices(), database, [this](const QString& message) {
        QMetaObject::invokeMethod(this, [this, message] { statusLine_->Tell(message); }, Qt::QueuedConnection);
    });
    listMenu_->SetSiteReportSource([this, database] {
        const QString named = memoryWriter_->NamedSite();
        return DeviceListMenu::ReportSource{database, named.isEmpty() ? memoryWriter_->VisitedSites() : QStringList{named}};
    });
    OnShowMissing(showMissing_->isChecked());
}

// Devices known at this visit's sites that do not answer are listed, grey, as missing; turned
// off, those listed are hidden until the next search empties the list.
void CScannerDlg::OnShowMissing(bool on)
{
    QSettings().setValue(kShowMissingSetting, on);
    filter_->SetHideMissing(!on && discovery_.Devices().MissingCount() > 0);
    RepaintDetailsWhileShown();
    ShowCounts();
    if (memoryWriter_ == nullptr)
        return;
    if (!on) {
        memoryWriter_->ShowMissing({});
        return;
    }
    memoryWriter_->ShowMissing([this](std::vector<devices::DeviceEntry> entries) {
        QMetaObject::invokeMethod(this, [this, entries = std::move(entries)] {
            if (!showMissing_->isChecked())
                return;
            discovery_.ListRemembered(entries);
            ShowCounts();
        }, Qt::QueuedConnection);
    });
}

void CScannerDlg::AskSiteName()
{
    if (memoryWriter_ == nullptr)
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Site name"),
                                               tr("The site of the devices found from now on\n(empty: each card's subnet names its own):"),
                                               QLineEdit::Normal, memoryWriter_->NamedSite(), &ok)
                             .trimmed();
    if (!ok)
        return;
    memoryWriter_->NameSite(name);
    statusLine_->Tell(name.isEmpty() ? tr("Devices found from now on belong to their card's subnet")
                                     : tr("Devices found from now on belong to the site %1").arg(name));
}

void CScannerDlg::UseSites()
{
    QStringList hosts = sitesOfThisRun_ + QSettings().value(kSitesSetting).toStringList();
    hosts.removeDuplicates();
    std::vector<std::string> sites;
    for (const QString& host : hosts)
        sites.push_back(host.toStdString());
    discovery_.SetSites(sites);
    // The relays report on threads of their own; the status line looks at them while there are any.
    if (sites.empty())
        sitesWatch_.stop();
    else
        sitesWatch_.start();
    ShowCounts();
}

void CScannerDlg::AskSites()
{
    bool ok = false;
    const QString text = QInputDialog::getMultiLineText(
        this, tr("Sites"),
        tr("Also search the LAN behind each of these hosts, one a line (user@host or a Host of\n"
           "~/.ssh/config), through 'quillonctl relay' run there over ssh:"),
        QSettings().value(kSitesSetting).toStringList().join(QLatin1Char('\n')), &ok);
    if (!ok)
        return;
    QStringList hosts;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (const QString host = line.trimmed(); discovery::IsSiteHost(host.toStdString()))
            hosts << host;
    }
    QSettings().setValue(kSitesSetting, hosts);
    UseSites();
    OnSearchDevice();
}

QStringList CScannerDlg::SiteStates() const
{
    QStringList states;
    for (const discovery::SiteState& site : discovery_.Sites()) {
        const QString host = protocol::DisplayableText(QString::fromStdString(site.host));
        switch (site.phase) {
        case discovery::SiteState::Phase::Up:
            states << tr("site %1: searching").arg(host);
            break;
        case discovery::SiteState::Phase::Starting:
            states << tr("site %1: connecting").arg(host);
            break;
        case discovery::SiteState::Phase::Failed:
            states << tr("site %1: %2").arg(host, protocol::DisplayableText(QString::fromStdString(site.why)));
            break;
        }
    }
    return states;
}

// The IP field gets the first focus once the window is shown, not before: a field focused before
// the show gets a focus-in from QDialog even if the window never becomes active, and an empty
// focused field paints its cursor by asking the input method for the text direction, which Qt
// 6.4's Wayland plugin answers by dereferencing the seat a compositor without one (a headless
// Weston) lacks. Given later, the focus waits for the window's activation.
void CScannerDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (focusWidget() == nullptr)
        QMetaObject::invokeMethod(this, [this] { ipField_->setFocus(Qt::OtherFocusReason); }, Qt::QueuedConnection);
}

void CScannerDlg::OnCancel()
{
    if (closing_)
        return;
    closing_ = true;
    liveSearch_.stop();
    liveRepeat_.stop();
    detailsRepaint_.stop();
    statusLine_->Stop();
    if (size() != firstSize_ || QSettings().contains(kSizeSetting))
        QSettings().setValue(kSizeSetting, size());
    memoryWriter_.reset(); // what reported last is written while the table still holds it
    // The table is this process's own, so the close never waits for another copy of the program.
    discovery_.Close([](platform::NamedLock& lock) { LockServingEvents(lock, std::chrono::milliseconds(0)); });
    QDialog::reject();
}

void CScannerDlg::OnAbout()
{
    CAboutDlg about(icon_, this);
    about.exec();
}

// ---- Data exchange -------------------------------------------------------------------------

void CScannerDlg::ShowNameMacAndPort(const QString& name, const QString& macText, int port)
{
    shownName_ = protocol::DisplayableText(name);
    nameField_->setText(shownName_);
    macField_->setText(macText.toUpper());
    port_ = port;
    portField_->setText(QString::number(port));
}

bool CScannerDlg::ReadFields()
{
    auto refuse = [this](QLineEdit* field, const QString& prompt) {
        platform::ShowMessageBox(platform::ApplicationBox(prompt));
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        return false;
    };
    if (nameField_->text().size() > kNameLimit)
        return refuse(nameField_, tr("Enter no more than %1 characters.").arg(kNameLimit));
    bool ok = false;
    const int port = ParsePort(portField_->text(), &ok);
    if (!ok)
        return refuse(portField_, tr("Please enter an integer."));
    if (port < 0 || port > kHighestPort)
        return refuse(portField_, tr("Please enter an integer between 0 and %1.").arg(kHighestPort));
    port_ = port;
    return true;
}

void CScannerDlg::EmptyPortField()
{
    portField_->selectAll();
    portField_->del();
}

// ---- Commands ------------------------------------------------------------------------------

// While replies pour in, the list catches up at most every kListRefreshInterval, so the UI
// thread keeps its time for the user; a lone change shows at once.
void CScannerDlg::ScheduleListRefresh()
{
    if (listRefresh_.isActive())
        return;
    const qint64 sinceLast = lastListRefresh_.isValid() ? lastListRefresh_.elapsed() : kListRefreshInterval;
    listRefresh_.start(static_cast<int>(std::max<qint64>(0, kListRefreshInterval - sinceLast)));
}

void CScannerDlg::RefreshDeviceList()
{
    model_->Apply(discovery_.Rows().TakeChanges());
}

void CScannerDlg::OnSearchDevice()
{
    if (!discovery_.Search([](platform::NamedLock& lock) { LockServingEvents(lock); }))
        return;
    chosenDevice_.reset();
    filter_->SetHideMissing(false); // the list is empty again
    statusLine_->SearchStarted();
    deviceList_->header()->setSortIndicatorShown(false);
    RefreshDeviceList();
    for (IpAddressEdit* address : {ipField_, gatewayField_, netmaskField_, dns1Field_, dns2Field_})
        address->Clear();
    ShowNameMacAndPort({}, {}, 0);
    EmptyPortField();
}

void CScannerDlg::OnDeviceListClick(int row)
{
    const int number = row < 0 ? 0 : model_->Row(row).number;
    if (const auto settings = commands::SelectDevice(discovery_.Devices(), number, model_->rowCount(), chosenDevice_))
        ShowDeviceSettings(*settings);
}

void CScannerDlg::ShowDeviceSettings(const commands::DeviceSettings& settings)
{
    statusLine_->DeviceChosen(settings.mac);
    gatewayField_->SetAddress(settings.gateway);
    ipField_->SetAddress(settings.ipAddress);
    netmaskField_->SetAddress(settings.netmask);
    dns1Field_->setEnabled(settings.hasDns);
    dns2Field_->setEnabled(settings.hasDns);
    dhcpButton_->setVisible(settings.hasDhcp);
    staticButton_->setVisible(settings.hasDhcp);
    if (settings.hasDhcp && settings.dhcpEnabled)
        OnDhcp();
    else if (settings.hasDhcp)
        OnStatic();
    else
        SetAddressFieldsEnabled(true);
    dns1Field_->SetAddress(settings.dns1);
    dns2Field_->SetAddress(settings.dns2);
    ShowNameMacAndPort(settings.nameText, settings.macText, settings.port1);
    if (settings.port1 == 0)
        EmptyPortField();
}

void CScannerDlg::SetAddressFieldsEnabled(bool enabled)
{
    netmaskField_->setEnabled(enabled);
    gatewayField_->setEnabled(enabled);
    ipField_->setEnabled(enabled);
}

void CScannerDlg::OnDhcp()
{
    dhcpButton_->setChecked(true);
    staticButton_->setChecked(false);
    SetAddressFieldsEnabled(false);
}

void CScannerDlg::OnStatic()
{
    dhcpButton_->setChecked(false);
    staticButton_->setChecked(true);
    SetAddressFieldsEnabled(true);
}

// A copy of the rows is sorted on a thread of its own, the window drawing meanwhile; the rows then
// take its order in one short step. Rows listed meanwhile follow the ordered ones, as rows listed
// after an ordering do. The detail columns order by the devices' details as they are at the click.
void CScannerDlg::OnDeviceListColumnClick(int column)
{
    const std::optional<bool> greatestFirst = ordering_.Click(column);
    if (!greatestFirst)
        return;
    devices::RowFeed::Rows ordered;
    RunServingEvents([&, &rows = discovery_.Rows(), &store = discovery_.Devices()] {
        const std::vector<devices::RowDetails> details =
            column >= devices::kTextColumnCount ? store.Details() : std::vector<devices::RowDetails>();
        ordered = rows.Copy();
        devices::ColumnOrdering::Sort(column, *greatestFirst, ordered, details);
    });
    discovery_.Rows().Reorder([&](devices::RowFeed::Rows& rows) { devices::FollowOrder(ordered, rows); });
    RefreshDeviceList();
    deviceList_->clearSelection();
    deviceList_->header()->setSortIndicatorShown(true);
    deviceList_->header()->setSortIndicator(column, *greatestFirst ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CScannerDlg::OnDeviceListDoubleClick()
{
    if (chosenDevice_)
        statusLine_->Tell(commands::OpenDeviceWebPage(discovery_.Devices(), *chosenDevice_));
}

// Enter opens the page of the row the keyboard is on, which need not be the chosen device: the
// fields keep what the user typed.
void CScannerDlg::OpenCurrentRowsWebPage()
{
    const int row = ModelRow(deviceList_->currentIndex());
    if (row < 0)
        return;
    if (const std::optional<devices::Device> device = discovery_.Devices().FindByNumber(model_->Row(row).number))
        statusLine_->Tell(commands::OpenDeviceWebPage(discovery_.Devices(), device->mac));
}

int CScannerDlg::ModelRow(const QModelIndex& viewIndex) const
{
    return viewIndex.isValid() ? filter_->mapToSource(viewIndex).row() : -1;
}

int CScannerDlg::ModelRow(int viewRow) const
{
    return ModelRow(filter_->index(viewRow, 0));
}

void CScannerDlg::ShowFilter()
{
    filterField_->show();
    filterField_->setFocus(Qt::ShortcutFocusReason);
    filterField_->selectAll();
}

void CScannerDlg::CloseFilter()
{
    filterField_->clear();
    filterField_->hide();
    deviceList_->setFocus(Qt::OtherFocusReason);
}

// The list shows only the matching rows. A chosen device the filter hides is no longer chosen:
// Submit acts only on a device the user sees.
void CScannerDlg::OnFilterChanged(const QString& text)
{
    filter_->SetText(text.trimmed());
    if (chosenDevice_) {
        const std::optional<devices::Device> chosen = discovery_.Devices().Find(*chosenDevice_);
        const std::optional<int> row = chosen ? model_->RowOfNumber(chosen->number) : std::nullopt;
        if (!row || !filter_->Shows(*row)) {
            chosenDevice_.reset();
            deviceList_->clearSelection();
            for (IpAddressEdit* address : {ipField_, gatewayField_, netmaskField_, dns1Field_, dns2Field_})
                address->Clear();
            ShowNameMacAndPort({}, {}, 0);
            EmptyPortField();
        }
    }
    ShowCounts();
}

void CScannerDlg::OnKeepSearching(bool on)
{
    QSettings().setValue(kKeepSearchingSetting, on);
    liveRepeat_.stop();
    if (on) {
        OnLiveSearch();
        liveSearch_.start();
    } else {
        liveSearch_.stop();
    }
    RepaintDetailsWhileShown();
    ShowCounts();
}

void CScannerDlg::OnLiveSearch()
{
    discovery_.SearchLive(std::chrono::system_clock::now());
    liveRepeatsLeft_ = discovery::kSearchRepeats - 1;
    liveRepeat_.start();
    deviceList_->viewport()->update();
    ShowCounts();
}

void CScannerDlg::RepeatLiveSearch()
{
    if (liveRepeatsLeft_-- <= 0) {
        liveRepeat_.stop();
        return;
    }
    discovery_.AskAgain();
}

// "3 of 120 devices shown", "118 online, 2 offline", "4 missing": what the filter, the live list
// and the site's memory add.
void CScannerDlg::ShowCounts()
{
    QStringList counts;
    const int listed = model_->rowCount();
    if (!filter_->Text().isEmpty())
        counts << tr("%1 of %2 devices shown").arg(filter_->rowCount()).arg(listed);
    if (keepSearching_ != nullptr && keepSearching_->isChecked()) {
        const auto offline = static_cast<int>(discovery_.Devices().OfflineCount());
        counts << tr("%1 online, %2 offline").arg(std::max(0, listed - offline)).arg(offline);
    }
    if (const auto missing = static_cast<int>(discovery_.Devices().MissingCount()); missing > 0 && showMissing_->isChecked())
        counts << tr("%1 missing").arg(missing);
    sitesShown_ = SiteStates();
    counts << sitesShown_;
    statusLine_->ShowCounts(counts.join(QStringLiteral(" \u00b7 ")));
}

// A port of 0 shows as an empty field; before reading the field back, an empty field is
// read as the 0 it stands for.
void CScannerDlg::PrefillEmptyPort()
{
    bool ok = false;
    if (port_ == 0 && ParsePort(portField_->text(), &ok) == 0)
        portField_->setText(QStringLiteral("0"));
}

// Names the other device as the user finds it in the list: by name, MAC address and the row it
// stands in now.
QString CScannerDlg::AddressHeldQuestion(const devices::Device& holder, const wire::Ipv4& address)
{
    const std::optional<int> row = model_->RowOfNumber(holder.number);
    const int shownRow = row ? filter_->mapFromSource(model_->index(*row, 0)).row() : -1;
    const QString where = shownRow >= 0 ? tr(", in row %1 of the list,").arg(shownRow + 1) : QString();
    const std::optional<devices::Device> chosen = discovery_.Devices().Find(chosenDevice_.value_or(wire::MacAddress{}));
    return tr("%1%2 already has the IP address %3. Two devices at one address cannot both be reached.\n\n"
              "Give %3 to %4 too?")
        .arg(commands::DeviceLabel(holder), where, protocol::DottedDecimal(address),
             chosen ? commands::DeviceLabel(*chosen) : tr("this device"));
}

void CScannerDlg::OnSubmit()
{
    PrefillEmptyPort();
    if (!ReadFields())
        return;
    if (port_ == 0)
        EmptyPortField();
    commands::NewSettings settings;
    if (nameField_->text() != shownName_)
        settings.name = nameField_->text();
    settings.ipAddress = ipField_->Address();
    settings.netmask = netmaskField_->Address();
    settings.gateway = gatewayField_->Address();
    settings.dns1 = dns1Field_->Address();
    settings.dns2 = dns2Field_->Address();
    settings.port = static_cast<std::uint16_t>(port_);
    if (!dhcpButton_->isHidden())
        settings.wantsDhcp = dhcpButton_->isChecked();
    const auto ask = [](const QString& text, platform::BoxIcon icon) {
        const platform::MessageBoxRequest question{text, QStringLiteral("Choice"), platform::BoxButtons::OkCancel, icon};
        return platform::ShowMessageBox(question) == platform::BoxAnswer::Ok;
    };
    commands::SubmitQuestions questions;
    questions.gatewayOutsideSubnet = [&] { return ask(texts_.Text(TextId::NoMatchQuestion), platform::BoxIcon::Question); };
    questions.addressHeld = [&](const devices::Device& holder) {
        return ask(AddressHeldQuestion(holder, settings.ipAddress), platform::BoxIcon::Warning);
    };
    // The status line listens for the device's word before the request leaves; what it changes is
    // kept for the journal, from the device as it was before Submit.
    const std::optional<devices::Device> before = discovery_.Devices().Find(chosenDevice_.value_or(wire::MacAddress{}));
    const commands::SubmitOutcome outcome = commands::SubmitSettings(
        discovery_.Devices(), chosenDevice_, settings, questions, shortFormSendBuffer_,
        [this, &before](const protocol::ShortFormSetRequest& request) {
            statusLine_->AwaitConfirmation(request);
            if (before) {
                const std::optional<commands::ListedDevice> listed =
                    commands::ListRowDevice(discovery_.Devices(), before->number, platform::UsableInterfaces());
                const QString named = memoryWriter_ != nullptr ? memoryWriter_->NamedSite() : QString();
                const QString site = !named.isEmpty() ? named : listed ? store::DefaultSiteName(*listed) : QString();
                sentChange_ = SentChange{request.macAddress, site, commands::ChangesSent(*before, request)};
            }
        });
    statusLine_->SubmitRefused(outcome, chosenDevice_, settings);
}

} // namespace quillon::app
