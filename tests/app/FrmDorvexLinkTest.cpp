// Start-up, port choice, the read-back's selections, lock-out and enabling,
// driven through the window on a virtual line with a scripted adapter.
#include "WindowRig.h"

#include <functional>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::allSettingsEnabled;
using test::bytes;
using test::WindowRig;
using Selections = std::vector<std::pair<Group, int>>;

void choosePort(WindowRig& rig, int port)
{
    QComboBox* list = rig.window->form().Cmb_Port;
    list->setCurrentIndex(port - 1);
    Q_EMIT list->activated(port - 1);
}

TEST(Startup, FillsThePortListWithoutChoosingAPort)
{
    WindowRig rig;
    const QComboBox* list = rig.window->form().Cmb_Port;
    ASSERT_EQ(list->count(), 255);
    EXPECT_EQ(list->itemText(0), "1");
    EXPECT_EQ(list->itemText(254), "255");
    EXPECT_EQ(list->currentText(), "1");
    EXPECT_FALSE(list->isEditable());
    EXPECT_EQ(rig.line.openCount(), 0);
}

TEST(Startup, AnUnopenableCom1ShowsTheBoxAndWritesNothing)
{
    WindowRig rig;
    rig.line.failOpening(1, {PortError::Kind::Busy, "/dev/ttyS0", "/dev/ttyS0 is busy"});
    rig.window->Form_Load();

    EXPECT_EQ(rig.errorBox.texts, QStringList{"Cannot open COM1, please try another port."});
    EXPECT_TRUE(rig.errorBox.reasons.value(0).contains("/dev/ttyS0"));
    EXPECT_TRUE(rig.line.written().isEmpty());
    EXPECT_EQ(rig.result(), "Waiting for Connection...");
    EXPECT_TRUE(allSettingsEnabled(*rig.window, true));
}

// The hidden IrSocket too is shown as read.
TEST(ReadBack, TheBytesReadBecomeTheSelections)
{
    const std::pair<const char*, Selections> cases[] = {
        {"1f f9 02",
         {{Group::Hspeed, 7},
          {Group::CCTRL, 0},
          {Group::FCTRL, 0},
          {Group::OPT_Mode, 1},
          {Group::Opt_Dis, 1},
          {Group::OPT_DTime, 4},
          {Group::Opt_PP, 2}}},
        {"e4 36 07",
         {{Group::Hspeed, 4},
          {Group::CCTRL, 1},
          {Group::FCTRL, 1},
          {Group::OPT_Mode, 0},
          {Group::Opt_Dis, 0},
          {Group::OPT_DTime, 0},
          {Group::Opt_PP, 3}}},
    };
    for (const auto& [read, selections] : cases) {
        SCOPED_TRACE(read);
        WindowRig rig;
        rig.startOnAdapter(bytes(read));
        for (const auto& [group, element] : selections)
            EXPECT_TRUE(rig.checked(group, element)) << groupName(group) << " " << element;
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
    choosePort(rig, 1);

    EXPECT_EQ(rig.line.openCount(), 2);
    EXPECT_EQ(rig.newlyWritten(), bytes("acad"));
    EXPECT_TRUE(listLockedDuringDetection);
    EXPECT_TRUE(settingsOffDuringDetection);
    EXPECT_TRUE(rig.window->form().Cmb_Port->isEnabled());
    EXPECT_TRUE(rig.checked(Group::Hspeed, 3));
    EXPECT_TRUE(allSettingsEnabled(*rig.window, true));
}

TEST(PortChoice, AnUnopenablePortThenAGoodOne)
{
    WindowRig rig;
    rig.startOnAdapter(bytes("03 92 00"));
    rig.line.failOpening(5, {PortError::Kind::PermissionDenied, "/dev/ttyS4",
                             "no permission for /dev/ttyS4 (dialout group)"});
    choosePort(rig, 5);

    EXPECT_EQ(rig.errorBox.texts, QStringList{"Can not open COM port, please try another port."});
    EXPECT_TRUE(rig.errorBox.reasons.value(0).contains("dialout"));
    EXPECT_FALSE(rig.line.portOpen());
    EXPECT_TRUE(rig.window->form().Cmb_Port->isEnabled());
    EXPECT_TRUE(allSettingsEnabled(*rig.window, false));
    EXPECT_EQ(rig.result(), "Velorin QM240LX READY.");
    EXPECT_TRUE(rig.newlyWritten().isEmpty());

    rig.script.answer(bytes("fa"));
    rig.script.answer(bytes("03 92 00"));
    choosePort(rig, 7);
    EXPECT_EQ(rig.line.commPort(), 7);
    EXPECT_EQ(rig.newlyWritten(), bytes("acad"));
    EXPECT_TRUE(allSettingsEnabled(*rig.window, true));
}

// Both open-failure boxes name the ports there are to try instead. The window
// may start on another port than COM1.
TEST(PortChoice, AnOpenFailureBoxListsThePresentPorts)
{
    QTemporaryDir dir;
    const QString present = dir.filePath("adapter");
    const QString gone = dir.filePath("gone");
    ASSERT_TRUE(QFile(present).open(QIODevice::WriteOnly));
    qputenv("QM240LX_COM200", present.toLocal8Bit());
    qputenv("QM240LX_COM201", gone.toLocal8Bit());
    struct Case
    {
        const char* name;
        int startPort;
        std::function<void(Frm_Dorvex&)> open201;
        QString text;
    };
    const Case cases[] = {
        {"Form_Load", 201, [](Frm_Dorvex& window) { window.Form_Load(); },
         "Cannot open COM201, please try another port."},
        {"Cmb_Port_Click", 1,
         [](Frm_Dorvex& window) {
             window.form().Cmb_Port->setCurrentIndex(200);
             Q_EMIT window.form().Cmb_Port->activated(200);
         },
         "Can not open COM port, please try another port."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig(0, c.startPort);
        Frm_Dorvex& window = *rig.window;
        EXPECT_EQ(window.form().Cmb_Port->currentText(), QString::number(c.startPort));
        rig.line.failOpening(201, {PortError::Kind::NoSuchDevice, gone, gone + " is not there"});
        c.open201(window);

        EXPECT_EQ(rig.line.commPort(), 201);
        ASSERT_EQ(rig.errorBox.texts, QStringList{c.text});
        const QStringList lines = rig.errorBox.reasons.value(0).split('\n');
        ASSERT_EQ(lines.size(), 2) << rig.errorBox.reasons.value(0).toStdString();
        EXPECT_EQ(lines[0], gone + " is not there");
        EXPECT_TRUE(lines[1].startsWith("Serial ports here: ")) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].contains(QStringLiteral("COM200 (%1)").arg(present)));
        EXPECT_FALSE(lines[1].contains("COM201"));
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
        choosePort(rig, 9);
    });
    rig.window->form().CmdSend->click();

    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rig.newlyWritten(), bytes("ae03ad"));
    EXPECT_EQ(rig.line.commPort(), 1);
    EXPECT_EQ(rig.window->form().Cmb_Port->currentText(), "1");
    EXPECT_EQ(rig.result(), "H-Byte is successfully set");
}

TEST(Lockout, ClosingTheWindowDuringAWaitEndsItAndFreesThePort)
{
    WindowRig rig;
    rig.window->show();
    rig.line.setPortOpen(true);
    rig.line.setStep(10);
    rig.line.setHook([&](int pass) {
        if (pass == 5)
            rig.window->close();
    });
    rig.window->Check_QM240LX();
    EXPECT_EQ(rig.line.passes(), 5);
    EXPECT_FALSE(rig.line.portOpen());
    EXPECT_FALSE(rig.window->isVisible());
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
        for (const char* hidden : {"OPT_DTime_5", "Opt_PP_3"})
            EXPECT_TRUE(rig.window->findChild<QWidget*>(hidden)->isHidden()) << hidden;
    }
    QList<QWidget*> own = rig.window->settingsControls();
    QStringList ownNames;
    for (const QWidget* control : own)
        ownNames << control->objectName();
    ownNames.sort();
    QStringList expected = settings;
    expected.sort();
    EXPECT_EQ(ownNames, expected);
}

TEST(Enabling, TheAccessKeysReachTheirFramesAndThePortFrameHasItsTip)
{
    WindowRig rig;
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    EXPECT_EQ(rig.window->findChild<QWidget*>("Frame1")->toolTip(), "Select COMPORT");
    for (const auto& [key, frame] : {std::pair{Qt::Key_P, "Frame1"},
                                     {Qt::Key_B, "Frame2"},
                                     {Qt::Key_C, "Frame3"},
                                     {Qt::Key_D, "Frame4"}}) {
        SCOPED_TRACE(frame);
        rig.window->findChild<QWidget*>("Txt_Result")->setFocus();
        QTest::keyClick(rig.window.get(), key, Qt::AltModifier);
        const QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(rig.window->findChild<QWidget*>(frame)->isAncestorOf(focus))
            << focus->objectName().toStdString();
    }
}

// The settings stay usable unless the adapter is not there: it did not take
// the probe or a save, or the port went.
TEST(Enabling, FollowsTheOutcome)
{
    struct Case
    {
        const char* name;
        std::vector<const char*> answers;
        std::function<void(Frm_Dorvex&)> run;
        bool enabled;
        std::optional<Tick> lostAfter = {};
    };
    const auto detect = [](Frm_Dorvex& window) { window.Check_QM240LX(); };
    const auto detectWhenDisabled = [](Frm_Dorvex& window) {
        window.DISABLE_FRAME();
        window.Check_QM240LX();
    };
    const auto save = [](Frm_Dorvex& window) { window.form().Cmd_SaveConfig->click(); };
    const auto send = [](Frm_Dorvex& window) { window.form().CmdSend->click(); };
    const Case cases[] = {
        {"ready", {"fa", "03 92 00"}, detectWhenDisabled, true},
        {"ready, the read-back timing out", {"fa"}, detectWhenDisabled, true},
        {"ready, the port lost in the read-back", {"fa"}, detect, false, 2500},
        {"a wrong answer to the probe", {"00"}, detect, false},
        {"silence to the probe", {}, detect, false},
        {"the port lost in the probe's wait", {}, detect, false, 500},
        {"a save accepted", {"fa"}, save, true},
        {"a save rejected", {"00"}, save, true},
        {"a silent save", {}, save, false},
        {"an upload rejected three times", {"ee", "ee", "ee"}, send, true},
        {"an upload nothing answers", {}, send, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startOnAdapter(bytes("03 92 00"));
        for (const char* answer : c.answers)
            rig.script.answer(bytes(answer), 10);
        if (c.lostAfter)
            rig.line.loseAfter(*c.lostAfter);
        c.run(*rig.window);
        EXPECT_TRUE(allSettingsEnabled(*rig.window, c.enabled));
    }
}

// Only the read-back changes selections; nothing that fails does.
TEST(Enabling, SelectionsStayAfterAPortChangeAFailedDetectionOrASaveThatTimesOut)
{
    const std::pair<const char*, std::function<void(WindowRig&)>> cases[] = {
        {"a port change to a silent port", [](WindowRig& rig) { choosePort(rig, 2); }},
        {"a failed detection",
         [](WindowRig& rig) {
             rig.script.answer(bytes("00"), 10);
             rig.window->Check_QM240LX();
         }},
        {"a save that times out",
         [](WindowRig& rig) { rig.window->form().Cmd_SaveConfig->click(); }},
    };
    for (const auto& [name, run] : cases) {
        SCOPED_TRACE(name);
        WindowRig rig;
        rig.startOnAdapter(bytes("1f f9 02"));
        const RecordedValues before = rig.window->recordedValues();
        std::vector<int> checked;
        for (const Group group : allGroups)
            checked.push_back(rig.window->group(group)->checkedId());
        run(rig);
        EXPECT_FALSE(allSettingsEnabled(*rig.window, true));
        EXPECT_EQ(rig.window->recordedValues(), before);
        std::vector<int> after;
        for (const Group group : allGroups)
            after.push_back(rig.window->group(group)->checkedId());
        EXPECT_EQ(after, checked);
    }
}

} // namespace
} // namespace qm240lx
