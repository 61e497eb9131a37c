#include "app/Frm_Dorvex.h"

#include "app/BusyCursor.h"
#include "app/ErrorBox.h"
#include "app/TabOrder.h"
#include "app/WindowLook.h"
#include "naming/ComMap.h"
#include "naming/PresentPorts.h"
#include "protocol/Detection.h"
#include "protocol/SaveToFlash.h"
#include "protocol/Texts.h"
#include "settings/ConfigBytes.h"
#include "ui_Frm_Dorvex.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>

// The resources live in a static library, where nothing else would pull them in.
static void initResources()
{
    Q_INIT_RESOURCE(qm240lx);
}

namespace qm240lx {
namespace {

QString nameOf(Group group)
{
    const std::string_view name = groupName(group);
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

QString elementName(Group group, int index)
{
    return QStringLiteral("%1_%2").arg(nameOf(group)).arg(index);
}

} // namespace

Frm_Dorvex::Frm_Dorvex(const WindowPlatform& platform, int startPort, QWidget* parent)
    : QMainWindow(parent), m_form(std::make_unique<Ui::Frm_Dorvex>()), m_ports(platform.ports),
      m_errorBox(platform.errorBox),
      m_exchange(m_ports.portFor(startPort), comName(startPort), platform.alarm, platform.tick),
      m_startPort(startPort)
{
    initResources();
    m_form->setupUi(this);
    numberGroupElements();
    applyTabOrder(*this);
    applyWindowLook(*this, *m_form);
    connectControls();
    Form_Initialize();
}

Frm_Dorvex::~Frm_Dorvex() = default;

QButtonGroup* Frm_Dorvex::group(Group group) const
{
    return findChild<QButtonGroup*>(nameOf(group), Qt::FindDirectChildrenOnly);
}

QRadioButton* Frm_Dorvex::option(Group group, int index) const
{
    return qobject_cast<QRadioButton*>(this->group(group)->button(index));
}

// The form numbers a group's buttons from -2 downwards; the element index
// is what the procedures address them by.
void Frm_Dorvex::numberGroupElements()
{
    for (const Group each : allGroups) {
        QButtonGroup* buttons = group(each);
        for (int index = 0; index < elementCount(each); ++index)
            buttons->setId(findChild<QRadioButton*>(elementName(each, index)), index);
    }
}

void Frm_Dorvex::connectControls()
{
    connectGroup(Group::Hspeed, &Frm_Dorvex::Hspeed_Click);
    connectGroup(Group::CCTRL, &Frm_Dorvex::CCTRL_Click);
    connectGroup(Group::FCTRL, &Frm_Dorvex::FCTRL_Click);
    connectGroup(Group::OPT_Mode, &Frm_Dorvex::OPT_Mode_Click);
    connectGroup(Group::Opt_Dis, &Frm_Dorvex::Opt_Dis_Click);
    connectGroup(Group::OPT_DTime, &Frm_Dorvex::OPT_DTime_Click);
    connectGroup(Group::Opt_PP, &Frm_Dorvex::Opt_PP_Click);
    // activated, not currentIndexChanged: choosing the open port again must
    // reopen it, and filling the list is no choice.
    connect(m_form->Cmb_Port, &QComboBox::activated, this, &Frm_Dorvex::Cmb_Port_Click);
    connect(m_form->CmdSend, &QPushButton::clicked, this, &Frm_Dorvex::CmdSend_Click);
    connect(m_form->Send_D, &QPushButton::clicked, this, &Frm_Dorvex::Send_D_Click);
    connect(m_form->Send_P, &QPushButton::clicked, this, &Frm_Dorvex::Send_P_Click);
    connect(m_form->Cmd_SaveConfig, &QPushButton::clicked, this, &Frm_Dorvex::Cmd_SaveConfig_Click);
    m_form->Cmb_Port->view()->installEventFilter(this);
}

// idToggled, not a click signal: a selection made by the program must run
// the handler before it returns, as a click does.
void Frm_Dorvex::connectGroup(Group group, void (Frm_Dorvex::*handler)(int))
{
    connect(this->group(group), &QButtonGroup::idToggled, this, [this, handler](int id, bool on) {
        if (on)
            (this->*handler)(id);
    });
}

QList<QWidget*> Frm_Dorvex::settingsControls() const
{
    QList<QWidget*> controls;
    for (Group each : allGroups) {
        for (int index = 0; index < elementCount(each); ++index)
            controls.append(option(each, index));
    }
    const Ui::Frm_Dorvex& form = *m_form;
    controls << form.CmdSend << form.Send_D << form.Send_P << form.Cmd_SaveConfig << form.Frame2
             << form.Frame3 << form.Frame4 << form.Frame5 << form.Frame6 << form.Frame7
             << form.Frame8;
    return controls;
}

void Frm_Dorvex::Form_Initialize()
{
    QComboBox* list = m_form->Cmb_Port;
    list->clear();
    for (int port = firstComNumber; port <= lastComNumber; ++port)
        list->addItem(QString::number(port));
    list->setCurrentText(QString::number(m_startPort));
    refreshPortTips();
}

void Frm_Dorvex::Form_Load()
{
    if (!m_exchange.busy())
        run(openStartPort());
}

// A network port may take its time to open: the port list waits meanwhile.
Task<> Frm_Dorvex::openStartPort()
{
    const Exchange::Command command(m_exchange);
    showResult(text::waitingForConnection);
    const bool open = co_await m_exchange.openPort();
    if (!open) {
        if (!m_exchange.aborted())
            m_errorBox.showError(text::cannotOpenStartPort(m_startPort), openFailureReason());
        co_return;
    }
    co_await Check_QM240LX();
}

void Frm_Dorvex::Cmb_Port_Click()
{
    QComboBox* list = m_form->Cmb_Port;
    if (m_exchange.busy()) {
        list->setCurrentIndex(m_com - 1);
        return;
    }
    run(changePort(list->currentText().toInt()));
}

Task<> Frm_Dorvex::changePort(int port)
{
    const Exchange::Command command(m_exchange);
    QComboBox* list = m_form->Cmb_Port;
    DISABLE_FRAME();
    list->setEnabled(false);
    m_exchange.closePort();
    m_com = port;
    m_exchange.usePort(m_ports.portFor(port), comName(port));
    const bool open = co_await m_exchange.openPort();
    if (!open) {
        if (!m_exchange.aborted())
            m_errorBox.showError(text::cannotOpenPort, openFailureReason());
        list->setEnabled(true);
        co_return;
    }
    co_await Check_QM240LX();
    list->setEnabled(true);
}

Task<> Frm_Dorvex::Check_QM240LX()
{
    const BusyCursor busy;
    const Answer detection = co_await detectAdapter(m_exchange, resultBox());
    switch (detection) {
    case Answer::Acknowledged: {
        // A read-back that times out still enables the settings. One whose
        // port is gone leaves nothing to configure, and one that never got a
        // trustworthy reply would leave selections the adapter does not hold.
        const ReadBack readBack = co_await READ_EEPROM();
        if (readBack.end == ReadBack::End::Read || readBack.end == ReadBack::End::Timeout)
            ENABLE_FRAME();
        else
            DISABLE_FRAME();
        break;
    }
    case Answer::Aborted:
        break;
    default:
        DISABLE_FRAME();
        break;
    }
}

Task<ReadBack> Frm_Dorvex::READ_EEPROM()
{
    const ReadBack result = co_await readConfiguration(m_exchange, resultBox());
    if (result.bytes) {
        for (const auto& [group, element] : decodeConfiguration(*result.bytes))
            option(group, element)->setChecked(true);
    }
    co_return result;
}

void Frm_Dorvex::ENABLE_FRAME()
{
    setSettingsEnabled(true);
}

void Frm_Dorvex::DISABLE_FRAME()
{
    setSettingsEnabled(false);
}

void Frm_Dorvex::setSettingsEnabled(bool enabled)
{
    for (QWidget* control : settingsControls())
        control->setEnabled(enabled);
}

void Frm_Dorvex::CmdSend_Click()
{
    runUpload(hostSettingsUpload(), [this] { return buildHByte(m_recorded); });
}

void Frm_Dorvex::Send_D_Click()
{
    runUpload(discoveryTimingUpload(),
              [this] { return buildDByte(m_recorded, selectedDiscoveryTime()); });
}

void Frm_Dorvex::Send_P_Click()
{
    runUpload(primaryProtocolUpload(), [this] { return buildPByte(m_recorded); });
}

void Frm_Dorvex::runUpload(const UploadKind& kind, ByteBuilder build)
{
    if (!m_exchange.busy())
        run(upload(kind, std::move(build)));
}

Task<> Frm_Dorvex::upload(const UploadKind& kind, ByteBuilder build)
{
    const BusyCursor busy;
    co_await uploadSetting(
        m_exchange, kind, std::move(build), [this] { return READ_EEPROM(); }, resultBox());
}

void Frm_Dorvex::Cmd_SaveConfig_Click()
{
    if (!m_exchange.busy())
        run(saveConfig());
}

Task<> Frm_Dorvex::saveConfig()
{
    const BusyCursor busy;
    // A save that cannot be written, or whose port goes, leaves the adapter
    // as lost as one that stays silent.
    const Answer saved = co_await saveToFlash(m_exchange, resultBox());
    if (saved == Answer::Silence || saved == Answer::PortFailed)
        DISABLE_FRAME();
}

// Only one command runs at a time (the callers check), so the one before has
// ended by now; but a handler of commandFinished may start this one while the
// one before still announces its end, and that frame must stay until it is
// done.
void Frm_Dorvex::run(Task<> command)
{
    std::erase_if(m_commands, [](const Task<>& each) { return each.done(); });
    m_commands.push_back(announceEnd(std::move(command)));
}

Task<> Frm_Dorvex::announceEnd(Task<> command)
{
    co_await command;
    Q_EMIT commandFinished();
}

void Frm_Dorvex::Hspeed_Click(int Index)
{
    m_recorded.select(Group::Hspeed, Index);
}

void Frm_Dorvex::CCTRL_Click(int Index)
{
    m_recorded.select(Group::CCTRL, Index);
}

void Frm_Dorvex::FCTRL_Click(int Index)
{
    m_recorded.select(Group::FCTRL, Index);
}

void Frm_Dorvex::OPT_Mode_Click(int Index)
{
    m_recorded.select(Group::OPT_Mode, Index);
}

void Frm_Dorvex::Opt_Dis_Click(int Index)
{
    m_recorded.select(Group::Opt_Dis, Index);
}

// The discovery time records nothing: the D-Byte reads the selection itself.
void Frm_Dorvex::OPT_DTime_Click(int) {}

void Frm_Dorvex::Opt_PP_Click(int Index)
{
    m_recorded.select(Group::Opt_PP, Index);
}

std::optional<int> Frm_Dorvex::selectedDiscoveryTime() const
{
    const int checked = group(Group::OPT_DTime)->checkedId();
    if (checked < 0)
        return std::nullopt;
    return checked;
}

ShowText Frm_Dorvex::resultBox()
{
    return [this](const QString& text) { showResult(text); };
}

// A wait shows its text on every pass; the same text again would only
// repaint the box for nothing.
void Frm_Dorvex::showResult(const QString& text)
{
    QPlainTextEdit* box = m_form->Txt_Result;
    if (box->toPlainText() != QString(text).replace(text::crlf, QStringLiteral("\n")))
        box->setPlainText(text);
}

// What went wrong, and which ports there are to try instead.
QString Frm_Dorvex::openFailureReason() const
{
    const PortError error = m_exchange.port().failure();
    const QString reason = error.message.isEmpty()
                               ? QStringLiteral("%1 cannot be opened.").arg(m_exchange.portName())
                               : error.message;
    return reason + QLatin1Char('\n') + presentPortsLine();
}

// Each item tells which device its COM number stands for and whether that
// device is there now.
void Frm_Dorvex::refreshPortTips()
{
    QComboBox* list = m_form->Cmb_Port;
    for (int item = 0; item < list->count(); ++item) {
        const int port = item + 1;
        const std::optional<QString> device = comDevice(port);
        QString tip =
            device ? QStringLiteral("COM%1: %2 (%3)")
                         .arg(port)
                         .arg(*device, devicePresent(*device) ? QStringLiteral("present")
                                                              : QStringLiteral("not present"))
                   : QStringLiteral("COM%1: no device").arg(port);
        list->setItemData(item, tip, Qt::ToolTipRole);
    }
}

bool Frm_Dorvex::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_form->Cmb_Port->view() && event->type() == QEvent::Show)
        refreshPortTips();
    return QMainWindow::eventFilter(watched, event);
}

// A wait in progress ends at its next pass; the port is free again at once.
void Frm_Dorvex::closeEvent(QCloseEvent* event)
{
    m_exchange.abort();
    m_exchange.closePort();
    QMainWindow::closeEvent(event);
}

} // namespace qm240lx
