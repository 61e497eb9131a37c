// The window reaching the adapter emulator behind the real ser2net through
// its COM list: QM240LX_COM1 names an rfc2217:// port, as a user would set it.
#include "RecordingErrorBox.h"
#include "app/Frm_Dorvex.h"
#include "link/ComMap.h"
#include "link/PortComm.h"
#include "link/QtEventPump.h"
#include "protocol/Texts.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "ui_Frm_Dorvex.h"

#include <functional>
#include <memory>

#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// The window's own event pump, counting the passes of its waits and calling
// `atPass` on the pass of that number.
class CountingPump : public QtEventPump
{
public:
    void processEvents(std::uint32_t maxWaitMs) override
    {
        if (++passes == atPass && onPass)
            onPass();
        QtEventPump::processEvents(maxWaitMs);
    }
    int passes = 0;
    int atPass = 0;
    std::function<void()> onPass;
};

// The emulator behind ser2net, and a window whose COM1 is its RFC 2217 port.
struct NetworkWindow
{
    explicit NetworkWindow(const QStringList& simArguments)
    {
        EXPECT_TRUE(sim.start(simArguments)) << sim.errorString().toStdString();
        EXPECT_TRUE(server.start(sim.devicePath())) << server.errorString().toStdString();
        qputenv("QM240LX_COM1", server.rfc2217Address().toLatin1());
        window = std::make_unique<Frm_Dorvex>(WindowPlatform{comm, pump, systemTick, errorBox});
    }
    ~NetworkWindow() { qunsetenv("QM240LX_COM1"); }

    QString result() const
    {
        return window->form().Txt_Result->toPlainText().replace('\n', QStringLiteral("\r\n"));
    }
    void clickSave() { window->form().Cmd_SaveConfig->click(); }

    test::SimProcess sim;
    test::Ser2net server;
    PortComm comm;
    CountingPump pump;
    test::RecordingErrorBox errorBox;
    std::unique_ptr<Frm_Dorvex> window;
};

TEST(NetworkWindow, DetectsAndShowsTheConfigurationOfAnAdapterBehindTheServer)
{
    NetworkWindow run({});
    run.window->Form_Load();
    ASSERT_EQ(run.result(), "Velorin QM240LX READY.")
        << run.errorBox.reasons.join('\n').toStdString();
    EXPECT_TRUE(run.window->form().CmdSend->isEnabled());
    for (const Group group : allGroups) {
        int checked = 0;
        for (int element = 0; element < elementCount(group); ++element)
            checked += run.window->option(group, element)->isChecked() ? 1 : 0;
        EXPECT_EQ(checked, 1) << text::settingCaption(group).toStdString();
    }
    EXPECT_TRUE(run.errorBox.texts.isEmpty());
}

// A wait that spins on the socket makes thousands of passes a second; one
// that sleeps until the socket, a timer or the user wakes it makes a handful.
TEST(NetworkWindow, ASilentWaitSleepsBetweenPasses)
{
    NetworkWindow run({"--silent", "af"});
    run.window->Form_Load();
    ASSERT_EQ(run.result(), "Velorin QM240LX READY.");
    run.pump.passes = 0;
    run.clickSave();
    EXPECT_EQ(run.result(), "Unable to update the Flash");
    EXPECT_LT(run.pump.passes, 50);
}

// ser2net killed on the first pass of the save's wait: the closed socket
// wakes the wait, which ends on its next pass, before its limit, and says
// which port failed and why.
TEST(NetworkWindow, AServerLostDuringAWaitMakesThePortNotUsable)
{
    NetworkWindow run({"--silent", "af"});
    run.window->Form_Load();
    ASSERT_EQ(run.result(), "Velorin QM240LX READY.");
    run.pump.passes = 0;
    run.pump.atPass = 1;
    run.pump.onPass = [&run] { run.server.kill(); };
    run.clickSave();
    EXPECT_TRUE(run.result().startsWith("Unable to update the Flash\r\nCOM1 is not usable: The "
                                        "connection to " +
                                        run.server.rfc2217Address() + " was lost"))
        << run.result().toStdString();
    EXPECT_LE(run.pump.passes, 3);
}

// The built program started with --port on a network port probes the
// adapter there and reads its configuration.
TEST(NetworkWindow, TheProgramStartedOnANetworkPortDetectsTheAdapter)
{
    test::SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    test::Ser2net server;
    ASSERT_TRUE(server.start(sim.devicePath())) << server.errorString().toStdString();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith("QM240LX_COM"))
            environment.remove(name);
    }
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess setup;
    setup.setProcessEnvironment(environment);
    setup.start(QStringLiteral(QM240LX_SETUP_PATH), {"--port", server.tcpAddress()});
    EXPECT_TRUE(sim.waitForReceived(2, 30000)) << sim.standardError().toStdString();
    EXPECT_EQ(sim.received(), QByteArray::fromHex("acad"));
    setup.terminate();
    EXPECT_TRUE(setup.waitForFinished(10000));
}

} // namespace
} // namespace qm240lx
