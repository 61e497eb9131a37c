// The three uploads and the save to flash, driven through the window with a
// scripted serial control and a fake clock.
#include "support/WindowRig.h"

#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::allSettingsEnabled;
using test::bytes;
using test::WindowRig;

const QString heldUntilPowerOff = "Success to change QM240LX setting.\r\n"
                                  "This setting will be used until QM240LX POWER OFF.";
const QString rejected = "Internal setting not change, please try again.";

// Adapter at 9600 baud, both Ignore at NO; primary/secondary, one slot, 3 s; IrComm.
constexpr const char* startBytes = "03 92 00";

TEST(Upload, EndsAsTheAdapterAnswers)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<QByteArray, Tick>> answers; // after the opcodes, in order
        QString text;
        QByteArray written;
        std::optional<Tick> portLostAfter = {};
    };
    const Case cases[] = {
        {"accepted at once",
         {{bytes("fa"), 10}, {bytes("06 92 00"), 10}},
         "H-Byte is successfully set",
         bytes("ae06ad")},
        {"three rejections",
         {{bytes("ee"), 10}, {bytes("ee"), 10}, {bytes("ee"), 10}},
         rejected,
         bytes("ae06ae06ae06")},
        {"a rejection, then silence the read-back confirms",
         {{bytes("ee"), 10}, {{}, 0}, {bytes("06 92 00"), 10}},
         heldUntilPowerOff,
         bytes("ae06ae06ad")},
        {"silence, and a read-back whose fields confirm it beside stray bits",
         {{{}, 0}, {bytes("e6 96 00"), 10}},
         heldUntilPowerOff,
         bytes("ae06ad")},
        {"silence, and the port lost during the read-back",
         {{{}, 0}, {{}, 0}},
         "COM1 is not usable: /dev/fake1 is gone",
         bytes("ae06ad"),
         4500},
        {"silence the read-back does not confirm",
         {{{}, 0}, {bytes("03 92 00"), 10}},
         "QM240LX did not answer: the setting is not confirmed.",
         bytes("ae06ad")},
        {"silence, and silence to the read-back",
         {{{}, 0}, {{}, 0}},
         "QM240LX did not answer: the setting is not confirmed.",
         bytes("ae06ad")},
        {"an acknowledgement the read-back contradicts",
         {{bytes("fa"), 10}, {bytes("03 92 00"), 10}},
         "QM240LX acknowledged, but reports another setting: please try again.",
         bytes("ae06ad")},
        {"the acceptance stays after a read-back that times out",
         {{bytes("fa"), 10}, {{}, 0}},
         "ERROR:TIME OUT!",
         bytes("ae06ad")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startOnAdapter(bytes(startBytes));
        rig.window->option(Group::Hspeed, 6)->click();
        for (const auto& [answer, delay] : c.answers)
            rig.comm.answer(answer, delay);
        if (c.portLostAfter)
            rig.comm.loseAt(rig.clock.now() + *c.portLostAfter);
        rig.window->form().CmdSend->click();
        EXPECT_EQ(rig.result(), c.text);
        EXPECT_EQ(rig.newlyWritten(), c.written);
        EXPECT_TRUE(allSettingsEnabled(*rig.window, true));
    }
}

TEST(Upload, WaitsStrictlyMoreThanThreeSeconds)
{
    for (const auto& [replyAfter, accepted] : {std::pair{Tick{3500}, true}, {Tick{4500}, false}}) {
        WindowRig rig;
        rig.startOnAdapter(bytes(startBytes));
        rig.pump.setStep(1000);
        rig.comm.answer(bytes("fa"), replyAfter); // passes read 0, 1000, 2000, 3000 ms
        rig.comm.answer(bytes(startBytes));
        rig.window->form().Send_P->click();
        EXPECT_EQ(rig.result(),
                  accepted ? QString("P-Byte is Successfully Set") : heldUntilPowerOff)
            << replyAfter;
    }
}

TEST(Upload, ASelectionMadeDuringAWaitGoesIntoTheNextAttemptOnly)
{
    WindowRig rig;
    rig.startOnAdapter(bytes(startBytes));
    rig.comm.answer(bytes("ee"), 500);
    rig.comm.answer(bytes("fa"), 500);
    rig.comm.answer(bytes("07 92 00"));
    rig.pump.setHook([&](int pass) {
        if (pass == 1)
            rig.window->option(Group::Hspeed, 7)->click();
    });
    rig.window->form().CmdSend->click();
    EXPECT_EQ(rig.newlyWritten(), bytes("ae03ae07ad"));
    EXPECT_EQ(rig.result(), "H-Byte is successfully set");
}

TEST(Upload, SendsTheBytesBuiltFromTheSelections)
{
    struct Case
    {
        const char* name;
        QByteArray start;
        std::vector<std::pair<Group, int>> clicks;
        QPushButton* Ui::Frm_Dorvex::*button;
        QByteArray written;
    };
    const Case cases[] = {
        {"9600, CTS yes, DSR no",
         bytes(startBytes),
         {{Group::CCTRL, 0}},
         &Ui::Frm_Dorvex::CmdSend,
         bytes("ae13")},
        {"115200, both yes",
         bytes(startBytes),
         {{Group::Hspeed, 7}, {Group::CCTRL, 0}, {Group::FCTRL, 0}},
         &Ui::Frm_Dorvex::CmdSend,
         bytes("ae1f")},
        {"1200, both no",
         bytes(startBytes),
         {{Group::Hspeed, 0}},
         &Ui::Frm_Dorvex::CmdSend,
         bytes("ae00")},
        {"secondary only, one slot, 2 s",
         bytes(startBytes),
         {{Group::OPT_Mode, 1}, {Group::OPT_DTime, 1}},
         &Ui::Frm_Dorvex::Send_D,
         bytes("aa63")},
        {"primary/secondary, six, 5 s",
         bytes(startBytes),
         {{Group::Opt_Dis, 1}, {Group::OPT_DTime, 4}},
         &Ui::Frm_Dorvex::Send_D,
         bytes("aaf8")},
        {"an unknown time code goes back as 3 s, bit 2 dropped",
         bytes("03 46 00"),
         {},
         &Ui::Frm_Dorvex::Send_D,
         bytes("aa92")},
        {"OBEX", bytes(startBytes), {{Group::Opt_PP, 2}}, &Ui::Frm_Dorvex::Send_P, bytes("ab02")},
        {"the hidden IrSocket, as read back",
         bytes("03 92 07"),
         {},
         &Ui::Frm_Dorvex::Send_P,
         bytes("ab03")},
        {"bits no field covers are dropped",
         bytes("e3 92 fe"),
         {},
         &Ui::Frm_Dorvex::CmdSend,
         bytes("ae03")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startOnAdapter(c.start);
        for (const auto& [group, element] : c.clicks)
            rig.window->option(group, element)->click();
        rig.comm.answer(bytes("ee"));
        rig.comm.answer(bytes("ee"));
        rig.comm.answer(bytes("ee"));
        (rig.window->form().*c.button)->click();
        EXPECT_EQ(rig.newlyWritten().left(2), c.written);
    }
}

TEST(Upload, SendsNothingWhenAGroupHasNoSelectionYet)
{
    WindowRig rig;
    rig.startOnAdapter(QByteArray()); // ready, but the read-back times out
    ASSERT_TRUE(allSettingsEnabled(*rig.window, true));
    rig.window->option(Group::Hspeed, 6)->click();
    rig.window->form().CmdSend->click();
    EXPECT_TRUE(rig.newlyWritten().isEmpty());
    EXPECT_TRUE(rig.result().contains("Ignore CTS")) << rig.result().toStdString();
}

TEST(Upload, AClosedPortWritesNothingAndSaysSo)
{
    WindowRig rig;
    rig.comm.failOpening(1, {PortError::Kind::NoSuchDevice, "/dev/ttyS0", "/dev/ttyS0 is absent"});
    rig.window->Form_Load();
    rig.window->option(Group::Opt_PP, 1)->click();
    for (QPushButton* button : std::initializer_list<QPushButton*>{
             rig.window->form().Send_P, rig.window->form().Cmd_SaveConfig}) {
        button->click();
        EXPECT_TRUE(rig.comm.written().isEmpty());
        EXPECT_TRUE(rig.result().contains("COM1")) << rig.result().toStdString();
    }
}

TEST(SaveToFlash, EndsAsTheAdapterAnswers)
{
    struct Case
    {
        const char* name;
        QByteArray waitingBefore;
        QByteArray answer;
        Tick delay;
        QString text;
        bool enabledAfter;
    };
    const Case cases[] = {
        {"accepted", {}, bytes("fa"), 10, "Configuration Data is updated in Flash", true},
        {"rejected", {}, bytes("00"), 10, "Unable to update the Flash", true},
        {"silent", {}, {}, 0, "Unable to update the Flash", false},
        {"a pass reading exactly 1000 ms waits on",
         {},
         bytes("fa"),
         1200,
         "Configuration Data is updated in Flash",
         true},
        {"a stale acknowledgement is dropped",
         bytes("fa"),
         {},
         0,
         "Unable to update the Flash",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startOnAdapter(bytes(startBytes));
        rig.pump.setStep(500);
        rig.comm.receiveNow(c.waitingBefore);
        rig.comm.answer(c.answer, c.delay);
        rig.window->form().Cmd_SaveConfig->click();
        EXPECT_EQ(rig.result(), c.text);
        EXPECT_EQ(rig.newlyWritten(), bytes("af"));
        EXPECT_TRUE(allSettingsEnabled(*rig.window, c.enabledAfter));
    }
}

} // namespace
} // namespace qm240lx
