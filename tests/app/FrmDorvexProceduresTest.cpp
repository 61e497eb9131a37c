// Each procedure, port choice, the read-back's selections, lock-out and
// enabling, driven through the window on a virtual line with a scripted adapter.
#include "WindowRig.h"

#include <algorithm>
#include <functional>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::allSettingsEnabled;
using test::bytes;
using test::checkedElements;
using test::WindowRig;

// The hidden IrSocket too is shown as read; a reply too short selects nothing.
TEST(ReadBack, TheBytesReadBecomeTheSelections)
{
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"1f f9 02", {7, 0, 0, 1, 1, 4, 2}},
        {"e4 36 07", {4, 1, 1, 0, 0, 0, 3}},
        {"1f f9", {-1, -1, -1, -1, -1, -1, -1}},
    };
    for (const auto& [read, selections] : cases) {
        SCOPED_TRACE(read);
        WindowRig rig;
        rig.startOnAdapter(bytes(read));
        EXPECT_EQ(checkedElements(*rig.window), selections);
    }
}

TEST(PortChoice, ChoosingTheOpenPortAgainReopensAndDetects)
{
    WindowRig rig;
    rig.startOnAdapter(bytes("03 92 00"));
    rig.script.answer(bytes("fa"));
    rig.script.answer(bytes("13 63 02"));
    bool listLockedDuringDetection = false;
    bool settingsOffDuringDetection = false;
    rig.line.setHook([&](int) {
        listLockedDuringDetection = !rig.window->form().Cmb_Port->isEnabled();
        settingsOffDuringDetection = allSettingsEnabled(*rig.window, false);
    });
    rig.choosePort(1);
    rig.line.run();

    EXPECT_EQ(rig.line.openCount(), 2);
    EXPECT_EQ(rig.newlyWritten(), bytes("acad"));
    EXPECT_TRUE(listLockedDuringDetection);
    EXPECT_TRUE(settingsOffDuringDetection);
    EXPECT_TRUE(rig.window->form().Cmb_Port->isEnabled());
    EXPECT_TRUE(rig.checked(Group::Hspeed, 3));
    EXPECT_TRUE(allSettingsEnabled(*rig.window, true));
}

// A reply the old port still owes is not waited for on a port opened after it:
// the probe goes out just after its settling pause and a quiet line.
TEST(PortChoice, APortChosenAfterASilentCommandIsProbedAfterItsPauseAlone)
{
    const std::pair<const char*, std::function<void(WindowRig&)>> silences[] = {
        {"a silent save", [](WindowRig& rig) { rig.window->form().Cmd_SaveConfig->click(); }},
        {"a silent probe", [](WindowRig& rig) { rig.choosePort(1); }},
    };
    for (const auto& [name, silence] : silences) {
        SCOPED_TRACE(name);
        WindowRig rig;
        rig.startOnAdapter(bytes("03 92 00"));
        silence(rig);
        rig.line.run();
        rig.newlyWritten();
        const Tick openedAt = rig.line.elapsed();
        rig.script.answers("fa|039200");
        rig.choosePort(1);
        rig.line.run();
        const std::vector<test::WireEvent>& events = rig.line.events();
        const auto probe = std::find_if(events.begin(), events.end(), [&](const auto& event) {
            return event.fromHost && event.byte == 0xAC && event.at >= openedAt;
        });
        ASSERT_NE(probe, events.end());
        EXPECT_EQ(probe->at - openedAt, 201u + serialQuietGapMs);
        EXPECT_EQ(rig.newlyWritten(), bytes("acad"));
    }
}

// Both open-failure boxes name the ports there are to try instead. Nothing
// is written and the port list stays usable. The window may start on another
// port than COM1.
TEST(PortChoice, AnOpenFailureShowsABoxListingThePresentPorts)
{
    QTemporaryDir dir;
    const QString present = dir.filePath("adapter");
    const QString gone = dir.filePath("gone");
    ASSERT_TRUE(QFile(present).open(QIODevice::WriteOnly));
    qputenv("QM240LX_COM200", present.toLocal8Bit());
    qputenv("QM240LX_COM201", gone.toLocal8Bit());
    for (const bool startUp : {true, false}) {
        SCOPED_TRACE(startUp ? "at start-up" : "on a port chosen");
        WindowRig rig(0, startUp ? 201 : 1);
        EXPECT_EQ(rig.window->form().Cmb_Port->currentText(), startUp ? "201" : "1");
        rig.line.failOpening(201, {PortError::Kind::DeviceNotFound, gone, gone + " is not there"});
        if (startUp) {
            rig.window->Form_Load();
        } else {
            rig.startOnAdapter(bytes("03 92 00"));
            rig.choosePort(201);
        }
        rig.line.run();
        EXPECT_EQ(rig.line.comNumber(), 201);
        ASSERT_EQ(rig.errorBox.texts,
                  QStringList{startUp ? "Cannot open COM201, please try another port."
                                      : "Can not open COM port, please try another port."});
        const QStringList lines = rig.errorBox.reasons.value(0).split('\n');
        ASSERT_EQ(lines.size(), 2) << rig.errorBox.reasons.value(0).toStdString();
        EXPECT_EQ(lines[0], gone + " is not there");
        EXPECT_TRUE(lines[1].startsWith("Serial ports here: ")) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].contains(QStringLiteral("COM200 (%1)").arg(present)));
        EXPECT_FALSE(lines[1].contains("COM201"));
        EXPECT_TRUE(rig.newlyWritten().isEmpty());
        EXPECT_FALSE(rig.line.isOpen());
        EXPECT_TRUE(rig.window->form().Cmb_Port->isEnabled());
        EXPECT_TRUE(allSettingsEnabled(*rig.window, startUp));
    }
    qunsetenv("QM240LX_COM200");
    qunsetenv("QM240LX_COM201");
}

TEST(Lockout, NothingStartsWhileACommandWaits)
{
    WindowRig rig;
    rig.startOnAdapter(bytes("03 92 00"));
    rig.script.answer(bytes("fa"), 1000); // the host settings upload
    rig.script.answer(bytes("03 92 00"));
    bool busyCursor = false;
    rig.line.setHook([&](int pass) {
        if (pass != 1)
            return;
        busyCursor = QApplication::overrideCursor() != nullptr;
        rig.window->form().Cmd_SaveConfig->click();
        rig.window->form().Send_P->click();
        rig.choosePort(9);
    });
    rig.window->form().CmdSend->click();
    rig.line.run();

    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.newlyWritten(), bytes("ae03ad"));
    EXPECT_EQ(rig.line.comNumber(), 1);
    EXPECT_EQ(rig.window->form().Cmb_Port->currentText(), "1");
    EXPECT_EQ(rig.result(), "H-Byte is successfully set");
}

// A handler connected directly to commandFinished may start the next command
// from inside the announcement, even one that ends at once and is announced
// inside it: no frame goes while it runs (the sanitizers' build checks).
TEST(Lockout, AHandlerOfACommandsEndStartsTheNext)
{
    WindowRig rig;
    rig.script.answers("fa|039200|fa");
    int ends = 0;
    QObject::connect(
        rig.window.get(), &Frm_Dorvex::commandFinished, rig.window.get(),
        [&] {
            if (++ends == 2)
                rig.line.lose("gone");
            if (ends <= 2)
                rig.window->Cmd_SaveConfig_Click();
        },
        Qt::DirectConnection);
    rig.window->Form_Load();
    rig.line.run();
    EXPECT_EQ(ends, 3);
    EXPECT_EQ(rig.newlyWritten(), bytes("acadaf"));
    EXPECT_TRUE(rig.shown.contains("Configuration Data is updated in Flash"));
    EXPECT_TRUE(rig.result().startsWith("Unable to update the Flash\r\nCOM1 is not usable"));
}

// The 37 controls that change, send or save the configuration, named here
// rather than taken from the window.
QStringList settingsControlNames()
{
    QStringList names{"CmdSend", "Send_D", "Send_P", "Cmd_SaveConfig", "Frame2", "Frame3",
                      "Frame4",  "Frame5", "Frame6", "Frame7",         "Frame8"};
    for (const auto& [group, count] : {std::pair{"Hspeed", 8},
                                       {"CCTRL", 2},
                                       {"FCTRL", 2},
                                       {"OPT_Mode", 2},
                                       {"Opt_Dis", 2},
                                       {"OPT_DTime", 6},
                                       {"Opt_PP", 4}}) {
        for (int index = 0; index < count; ++index)
            names << QString("%1_%2").arg(group).arg(index);
    }
    return names;
}

TEST(Enabling, SwitchesExactlyTheSettingsControls)
{
    WindowRig rig;
    const QStringList settings = settingsControlNames();
    ASSERT_EQ(settings.size(), 37);
    const QStringList others{"SSTab1", "Frame1", "Cmb_Port", "Txt_Result"};
    for (const bool enabled : {false, true}) {
        SCOPED_TRACE(enabled);
        if (enabled)
            rig.window->ENABLE_FRAME();
        else
            rig.window->DISABLE_FRAME();
        for (const QString& name : settings)
            EXPECT_EQ(rig.window->findChild<QWidget*>(name)->isEnabled(), enabled)
                << name.toStdString();
        for (const QString& name : others)
            EXPECT_TRUE(rig.window->findChild<QWidget*>(name)->isEnabled()) << name.toStdString();
    }
}

// The settings stay usable unless the adapter is not there: it did not take
// the probe or a save, or the port went. Only a read-back changes selections;
// nothing that fails does.
TEST(Enabling, FollowsTheOutcomeAndFailuresKeepTheSelections)
{
    struct Case
    {
        const char* name;
        const char* answers;
        std::function<void(WindowRig&)> run;
        bool enabled;
        std::optional<Tick> lostAfter = {};
    };
    const auto detect = [](WindowRig& rig) { rig.line.run(rig.window->Check_QM240LX()); };
    const auto detectWhenDisabled = [](WindowRig& rig) {
        rig.window->DISABLE_FRAME();
        rig.line.run(rig.window->Check_QM240LX());
    };
    const auto save = [](WindowRig& rig) { rig.window->form().Cmd_SaveConfig->click(); };
    const auto saveOnALostPort = [](WindowRig& rig) {
        rig.line.lose("gone");
        rig.window->form().Cmd_SaveConfig->click();
    };
    const auto send = [](WindowRig& rig) { rig.window->form().CmdSend->click(); };
    const Case cases[] = {
        {"ready", "fa|1ff902", detectWhenDisabled, true},
        {"ready, the read-back timing out", "fa|1ff9", detectWhenDisabled, true},
        {"ready, the port lost in the read-back", "fa", detect, false, 2500},
        {"a wrong answer to the probe", "00", detect, false},
        {"silence to the probe", "", detect, false},
        {"the port lost in the probe's wait", "", detect, false, 500},
        {"a silent port chosen", "", [](WindowRig& rig) { rig.choosePort(2); }, false},
        {"a save accepted", "fa", save, true},
        {"a save rejected", "00", save, true},
        {"a silent save", "", save, false},
        {"a save whose write fails", "", saveOnALostPort, false},
        {"a save that loses the port", "", save, false, 500},
        {"an upload rejected three times", "ee|ee|ee", send, true},
        {"an upload nothing answers", "", send, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startOnAdapter(bytes("1f f9 02"));
        const RecordedValues recorded = rig.window->recordedValues();
        const std::vector<int> checked = checkedElements(*rig.window);
        rig.script.answers(c.answers);
        if (c.lostAfter)
            rig.line.loseAfter(*c.lostAfter);
        c.run(rig);
        rig.line.run();
        EXPECT_TRUE(allSettingsEnabled(*rig.window, c.enabled));
        EXPECT_EQ(rig.window->recordedValues(), recorded);
        EXPECT_EQ(checkedElements(*rig.window), checked);
    }
}

// Each procedure end to end through the window: the control runs its command
// with the bytes the selections build, and the result box shows each text in
// order.
const QString configuring = "Configuring the Settings....\r\n";
const QString updating = "Updata new setting......";
const QString searching = "Searching......";
const QString ready = "Velorin QM240LX READY.";

void operate(WindowRig& rig, const QString& control)
{
    if (control == "Form_Load")
        rig.window->Form_Load();
    else if (control == "Cmb_Port")
        rig.choosePort(7);
    else
        rig.window->findChild<QPushButton*>(control)->click();
}

// `clicks` names the options clicked first.
TEST(Procedures, EachControlRunsItsCommandAndShowsItsTexts)
{
    struct Case
    {
        const char* start; // what the read-back at start-up reports; none: no start-up
        const char* clicks;
        const char* answers;
        const char* control;
        const char* written;
        QStringList shown;
    };
    const Case cases[] = {
        {nullptr, "", "fa|039200", "Form_Load", "acad",
         QStringList{"Waiting for Connection...", searching, ready}},
        {"039200", "", "fa|039200", "Cmb_Port", "acad", {searching, ready}},
        {"039200", "Hspeed_7 CCTRL_0 FCTRL_0", "fa|1f9200", "CmdSend", "ae1f ad",
         QStringList{configuring, updating, "H-Byte is successfully set"}},
        {"039200", "Opt_Dis_1 OPT_DTime_4", "00|fa|03f800", "Send_D", "aaf8 aaf8 ad",
         QStringList{configuring, updating, "Internal setting not change, please try again.",
                     updating, "D-Byte is Successfully Set"}},
        // An unknown time code read goes back as 3 s.
        {"034600", "", "fa|039200", "Send_D", "aa92 ad",
         QStringList{configuring, updating, "D-Byte is Successfully Set"}},
        {"039200", "Opt_PP_2", "fa|039202", "Send_P", "ab02 ad",
         QStringList{configuring, updating, "P-Byte is Successfully Set"}},
        {"039200", "", "fa", "Cmd_SaveConfig", "af",
         QStringList{"Uploading......", "Configuration Data is updated in Flash"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        WindowRig rig;
        if (c.start)
            rig.startOnAdapter(bytes(c.start));
        for (const QString& option : QString(c.clicks).split(' ', Qt::SkipEmptyParts))
            rig.window->findChild<QRadioButton*>(option)->click();
        rig.script.answers(c.answers);
        operate(rig, c.control);
        rig.line.run();
        EXPECT_EQ(rig.newlyWritten(), bytes(c.written));
        EXPECT_EQ(rig.shown, c.shown);
    }
}

} // namespace
} // namespace qm240lx
