#pragma once

#include "app/WindowPlatform.h"
#include "async/Task.h"
#include "link/PortSource.h"
#include "protocol/Exchange.h"
#include "protocol/ReadBack.h"
#include "protocol/Upload.h"
#include "settings/RecordedValues.h"
#include "settings/SettingTable.h"

#include <memory>
#include <optional>
#include <vector>

#include <QList>
#include <QMainWindow>

class QButtonGroup;
class QRadioButton;

QT_BEGIN_NAMESPACE
namespace Ui {
class Frm_Dorvex;
}
QT_END_NAMESPACE

namespace qm240lx {

// The program's one window: the port frame, the three settings tabs, the
// result box and the status bar. A procedure is named by the control and
// event that run it (Form_Load, Cmb_Port_Click) or by the step it takes
// (Check_QM240LX, READ_EEPROM), in the style of the control names
// (Txt_Result, Cmb_Port), so that the form and the code read alike. The
// commands to the adapter live in src/protocol. A procedure that waits for
// the adapter is a task: the window keeps painting meanwhile, and no other
// command starts until it ends.
class Frm_Dorvex : public QMainWindow
{
    Q_OBJECT

public:
    // `startPort` is the COM number Form_Load opens and the port list shows.
    explicit Frm_Dorvex(const WindowPlatform& platform, int startPort = 1,
                        QWidget* parent = nullptr);
    ~Frm_Dorvex() override;

    Ui::Frm_Dorvex& form() { return *m_form; }

    // The option buttons of a selection group; their ids are their indexes.
    QButtonGroup* group(Group group) const;
    QRadioButton* option(Group group, int index) const;

    // What each group's last selection contributes to its configuration byte.
    const RecordedValues& recordedValues() const { return m_recorded; }

    // True while a command waits for the port or the adapter.
    bool waiting() const { return m_exchange.busy(); }

    // The 37 controls through which the configuration is changed, sent or saved.
    QList<QWidget*> settingsControls() const;

    // Start-up and the choice of port.
    void Form_Initialize();
    void Form_Load();
    void Cmb_Port_Click();

    // The adapter on the open port.
    Task<> Check_QM240LX();
    Task<ReadBack> READ_EEPROM();
    void ENABLE_FRAME();
    void DISABLE_FRAME();

    // The commands.
    void CmdSend_Click();
    void Send_D_Click();
    void Send_P_Click();
    void Cmd_SaveConfig_Click();

    // Selection handlers: an element of the group has become selected.
    void Hspeed_Click(int Index);
    void CCTRL_Click(int Index);
    void FCTRL_Click(int Index);
    void OPT_Mode_Click(int Index);
    void Opt_Dis_Click(int Index);
    void OPT_DTime_Click(int Index);
    void Opt_PP_Click(int Index);

Q_SIGNALS:
    // A command started by the window (start-up, a port chosen, a button) has
    // ended.
    void commandFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void numberGroupElements();
    void connectControls();
    void connectGroup(Group group, void (Frm_Dorvex::*handler)(int));
    void showResult(const QString& text);
    ShowText resultBox();
    void setSettingsEnabled(bool enabled);
    void refreshPortTips();
    QString openFailureReason() const;
    std::optional<int> selectedDiscoveryTime() const;
    void runUpload(const UploadKind& kind, ByteBuilder build);
    void run(Task<> command);
    Task<> announceEnd(Task<> command);
    Task<> openStartPort();
    Task<> changePort(int port);
    Task<> upload(const UploadKind& kind, ByteBuilder build);
    Task<> saveConfig();

    std::unique_ptr<Ui::Frm_Dorvex> m_form;
    PortSource& m_ports;
    ErrorBox& m_errorBox;
    Exchange m_exchange;
    RecordedValues m_recorded;
    int m_startPort;
    int m_com = m_startPort; // of the port opened last
    // The command started last, after those still announcing their ends.
    // Their frames go before the exchange they use.
    std::vector<Task<>> m_commands;
};

} // namespace qm240lx
