// The window on the real serial control, over a pseudo-terminal, against the
// adapter emulator.
#include "WindowRig.h"
#include "async/QtAlarm.h"
#include "link/ComPorts.h"
#include "support/InterruptedRun.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "support/TestPort.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QMap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::checkedElements;
using test::hex;
using test::SimProcess;

// The window's own alarm, counting the passes of its waits (each suspends on
// it once) and calling `onPass` on the pass numbered `atPass`.
class CountingAlarm : public QtAlarm
{
public:
    void set(Tick ms, std::function<void()> ring) override
    {
        if (++passes == atPass && onPass)
            onPass();
        QtAlarm::set(ms, std::move(ring));
    }
    int passes = 0;
    int atPass = 0;
    std::function<void()> onPass;
};

// One window whose COM1 is the emulator's device, or a network port.
struct RealWindow
{
    explicit RealWindow(const QString& device)
        : ports(PortMaker(PortOptions{{}, [](const QString&) { return false; }}, portAlarm,
                          systemTick),
                [device](const QString&) { return std::optional<QString>(device); }),
          window(WindowPlatform{ports, alarm, systemTick, errorBox})
    {}

    // Runs the event loop until the window's command has ended.
    void finish() const
    {
        QSignalSpy ended(&window, &Frm_Dorvex::commandFinished);
        EXPECT_TRUE(!window.waiting() || ended.wait(30000));
    }
    void load() const
    {
        window.Form_Load();
        finish();
    }
    void click(QAbstractButton* button) const
    {
        button->click();
        finish();
    }

    QString result() const
    {
        return window.form().Txt_Result->toPlainText().replace('\n', QStringLiteral("\r\n"));
    }
    bool settingsEnabled() const { return window.form().CmdSend->isEnabled(); }

    QtAlarm portAlarm;
    ComPorts ports;
    CountingAlarm alarm;
    test::RecordingErrorBox errorBox;
    mutable Frm_Dorvex window;
};

// The emulator, and a window on its device or, behind ser2net, on its
// rfc2217:// port.
struct Started
{
    Started(const QStringList& arguments, bool behindSer2net) : sim(arguments)
    {
        if (behindSer2net) {
            EXPECT_TRUE(server.start(sim.devicePath())) << server.errorString().toStdString();
        }
        ui = std::make_unique<RealWindow>(behindSer2net ? server.rfc2217Address()
                                                        : sim.devicePath());
    }
    test::StartedSim sim;
    test::Ser2net server;
    std::unique_ptr<RealWindow> ui;
};

// What a window that starts on `device` shows; nothing is checked before the
// configuration is read.
std::vector<int> shownBy(const QString& device)
{
    RealWindow ui(device);
    ui.load();
    EXPECT_EQ(ui.result(), "Velorin QM240LX READY.") << ui.result().toStdString();
    EXPECT_TRUE(ui.settingsEnabled());
    return checkedElements(ui.window);
}

// Sends the primary protocol `element` from a window that starts on `device`.
void sendProtocol(const QString& device, int element, bool save)
{
    RealWindow ui(device);
    ui.load();
    ui.window.option(Group::Opt_PP, element)->click();
    ui.click(ui.window.form().Send_P);
    EXPECT_EQ(ui.result(), "P-Byte is Successfully Set") << ui.result().toStdString();
    if (save) {
        ui.click(ui.window.form().Cmd_SaveConfig);
        EXPECT_EQ(ui.result(), "Configuration Data is updated in Flash")
            << ui.result().toStdString();
    }
}

// On the emulator, and on the adapter QM240LX_TEST_PORT names: a new window
// shows the configuration, one setting sent from another window shows in the
// next, and it is put back. The primary protocol is the setting: it leaves
// the link alone.
class WindowOnAnAdapter : public testing::TestWithParam<test::TestPort::Kind>
{
};

TEST_P(WindowOnAnAdapter, ShowsItsConfigurationAndSetsOneSettingAndBack)
{
    const test::TestPort adapter(GetParam());
    ASSERT_TRUE(adapter.problem().isEmpty()) << adapter.problem().toStdString();
    const QString device = adapter.devicePath();
    const std::vector<int> original = shownBy(device);
    ASSERT_EQ(std::ranges::count(original, -1), 0) << "a group shows nothing";
    if (adapter.emulator()) // 03 92 00, never a stray byte after the probe's answer
        EXPECT_EQ(original, (std::vector<int>{3, 1, 1, 0, 0, 2, 0}));
    const int protocol = original.back(); // Opt_PP comes last
    std::vector<int> changed = original;
    changed.back() = protocol == 2 ? 1 : 2;
    {
        const auto putBack =
            qScopeGuard([&] { sendProtocol(device, protocol, adapter.maySaveToFlash()); });
        sendProtocol(device, changed.back(), false);
        EXPECT_EQ(shownBy(device), changed);
    }
    EXPECT_EQ(shownBy(device), original);

    if (const SimProcess* sim = adapter.emulator()) { // from P-Byte 0x00, IrComm
        const QByteArray wire = bytes("acad acadab02ad acad acadab00adaf acad");
        sim->waitForReceived(wire.size());
        EXPECT_EQ(hex(adapter.comparable(sim->received())), hex(wire));
    }
}

INSTANTIATE_TEST_SUITE_P(On, WindowOnAnAdapter, testing::ValuesIn(test::TestPort::kinds()),
                         [](const auto& info) { return test::TestPort::name(info.param); });

// A wait that spins makes thousands of passes a second; one that sleeps until
// the port, a timer or the user wakes it makes a handful.
TEST(EndToEnd, ASilentWaitInAShownWindowSleepsBetweenPasses)
{
    for (const bool behindSer2net : {false, true}) {
        SCOPED_TRACE(behindSer2net ? "rfc2217" : "device");
        Started run({"--silent", "af"}, behindSer2net);
        run.ui->window.show();
        run.ui->load();
        ASSERT_EQ(run.ui->result(), "Velorin QM240LX READY.");
        run.ui->alarm.passes = 0;
        run.ui->click(run.ui->window.form().Cmd_SaveConfig);
        EXPECT_EQ(run.ui->result(), "Unable to update the Flash");
        EXPECT_LT(run.ui->alarm.passes, 50);
    }
}

// ser2net killed on the first pass of the save's wait: the closed socket
// wakes the wait, which ends on its next pass, before its limit, and says
// which port failed and why.
TEST(EndToEnd, AServerLostDuringAWaitMakesThePortNotUsable)
{
    Started run({"--silent", "af"}, true);
    run.ui->load();
    ASSERT_EQ(run.ui->result(), "Velorin QM240LX READY.");
    run.ui->alarm.passes = 0;
    run.ui->alarm.atPass = 1;
    run.ui->alarm.onPass = [&run] { run.server.kill(); };
    run.ui->click(run.ui->window.form().Cmd_SaveConfig);
    EXPECT_TRUE(run.ui->result().startsWith("Unable to update the Flash\r\nCOM1 is not usable: The "
                                            "connection to " +
                                            run.server.rfc2217Address() + " was lost"))
        << run.ui->result().toStdString();
    EXPECT_LE(run.ui->alarm.passes, 3);
}

// The built qm240lx-setup started with the test's environment less the display
// variables and any QM240LX_COM<n>, plus `variables`.
QProcessEnvironment setupEnvironment(const QMap<QString, QString>& variables)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys()) {
        if (key.startsWith("QM240LX_COM") || key == "DISPLAY" || key == "WAYLAND_DISPLAY" ||
            key == "QT_QPA_PLATFORM")
            environment.remove(key);
    }
    for (auto variable = variables.begin(); variable != variables.end(); ++variable)
        environment.insert(variable.key(), variable.value());
    return environment;
}

void startSetup(QProcess& process, const QStringList& arguments,
                const QMap<QString, QString>& variables)
{
    process.setProcessEnvironment(setupEnvironment(variables));
    process.start(QStringLiteral(QM240LX_SETUP_PATH), arguments, QIODevice::ReadOnly);
}

// The window closes as if its user had closed it: the wait ends, the port
// and its lock go. A late answer shows that the wait did not run on: the
// read-back would follow it. The tool's test takes the other signals.
TEST(EndToEnd, ASignalDuringAWaitEndsTheWaitClosesThePortAndEndsTheWindow)
{
    const test::StartedSim sim({"--delay", "1500"});
    const test::InterruptedRun run = test::InterruptedRun::run(
        QStringLiteral(QM240LX_SETUP_PATH), {},
        setupEnvironment({{"QM240LX_COM1", sim.devicePath()}, {"QT_QPA_PLATFORM", "offscreen"}}),
        sim, SIGTERM);
    ASSERT_TRUE(run.probed) << run.err.toStdString();
    EXPECT_EQ(run.locksWhileWaiting.size(), 1) << run.locksWhileWaiting.join(' ').toStdString();
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.exitedNormally);
    EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.err.toStdString();
    EXPECT_TRUE(run.locksAfter.isEmpty()) << run.locksAfter.join(' ').toStdString();
    EXPECT_EQ(sim.received(), QByteArray(1, '\xAC'));
}

// Help, a port outside the COM numbers, and no display: the program ends
// before any port is opened.
TEST(EndToEnd, HelpABadPortAndNoDisplayEndTheProgramWithOneLine)
{
    struct Case
    {
        const char* name;
        QStringList arguments;
        QMap<QString, QString> variables;
        int exitCode;
        QString outStart;
        std::optional<QString> err; // nullopt: Qt's own messages
    };
    const QString noDisplay = "qm240lx-setup: no display: set DISPLAY or WAYLAND_DISPLAY, or use "
                              "QT_QPA_PLATFORM=offscreen\n";
    const Case cases[] = {
        {"help", {"--help"}, {}, 0, "Usage: qm240lx-setup [--port PORT]", ""},
        {"a COM number outside 1 to 255",
         {"--port", "COM256"},
         {{"QT_QPA_PLATFORM", "offscreen"}},
         64,
         "",
         "qm240lx-setup: --port COM256: expected a COM number from 1 to 255 (3, COM3, com3) or a "
         "device path\n"},
        {"no display", {}, {}, 1, "", noDisplay},
        {"a display nothing answers on", {}, {{"DISPLAY", ":32767"}}, 1, "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess setup;
        startSetup(setup, c.arguments, c.variables);
        ASSERT_TRUE(setup.waitForFinished(30000));
        EXPECT_EQ(setup.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(setup.exitCode(), c.exitCode);
        const QString out = QString::fromLocal8Bit(setup.readAllStandardOutput());
        EXPECT_TRUE(c.outStart.isEmpty() ? out.isEmpty() : out.startsWith(c.outStart))
            << out.toStdString();
        if (c.err) {
            EXPECT_EQ(QString::fromLocal8Bit(setup.readAllStandardError()), *c.err);
        }
    }
}

// The window started with --port probes the adapter there, named by its COM
// number or by a device path the COM map does not have.
TEST(EndToEnd, TheWindowStartsDetectionOnThePortTheCommandLineNames)
{
    for (const bool byComNumber : {true, false}) {
        SCOPED_TRACE(byComNumber ? "a COM number" : "a device path outside the COM map");
        const test::StartedSim sim;
        QMap<QString, QString> variables{{"QT_QPA_PLATFORM", "offscreen"}};
        if (byComNumber)
            variables.insert("QM240LX_COM33", sim.devicePath());
        QProcess setup;
        startSetup(setup, {"--port", byComNumber ? "com33" : sim.devicePath()}, variables);
        EXPECT_TRUE(sim.waitForReceived(2, 30000)) << sim.standardError().toStdString();
        EXPECT_EQ(sim.received(), bytes("acad"));
        setup.terminate();
        setup.waitForFinished();
    }
}

} // namespace
} // namespace qm240lx
