// Each procedure end to end through the window, on a virtual line with a
// scripted adapter: the control runs its command with the bytes the
// selections build, and the result box shows each text in order.
#include "WindowRig.h"

#include <functional>

#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::WindowRig;

const QString configuring = "Configuring the Settings....\r\n";
const QString updating = "Updata new setting......";
const QString searching = "Searching......";
const QString ready = "Velorin QM240LX READY.";

std::function<void(Frm_Dorvex&)> press(const char* button)
{
    return [button](Frm_Dorvex& window) { window.findChild<QPushButton*>(button)->click(); };
}

TEST(Procedures, EachControlRunsItsCommandAndShowsItsTexts)
{
    struct Case
    {
        const char* name;
        const char* start; // what the read-back at start-up reports; none: no start-up
        std::vector<std::pair<Group, int>> clicks;
        std::vector<const char*> answers;
        std::function<void(Frm_Dorvex&)> run;
        QByteArray written;
        QStringList shown;
    };
    const Case cases[] = {
        {"start-up",
         nullptr,
         {},
         {"fa", "03 92 00"},
         [](Frm_Dorvex& window) { window.Form_Load(); },
         bytes("ac ad"),
         {"Waiting for Connection...", searching, ready}},
        {"a port chosen",
         "03 92 00",
         {},
         {"fa", "03 92 00"},
         [](Frm_Dorvex& window) {
             window.form().Cmb_Port->setCurrentIndex(6);
             Q_EMIT window.form().Cmb_Port->activated(6);
         },
         bytes("ac ad"),
         {searching, ready}},
        {"host settings: 115200, both yes",
         "03 92 00",
         {{Group::Hspeed, 7}, {Group::CCTRL, 0}, {Group::FCTRL, 0}},
         {"fa", "1f 92 00"},
         press("CmdSend"),
         bytes("ae1f ad"),
         {configuring, updating, "H-Byte is successfully set"}},
        {"discovery timing: six slots, 5 s, rejected once",
         "03 92 00",
         {{Group::Opt_Dis, 1}, {Group::OPT_DTime, 4}},
         {"00", "fa", "03 f8 00"},
         press("Send_D"),
         bytes("aaf8 aaf8 ad"),
         {configuring, updating, "Internal setting not change, please try again.", updating,
          "D-Byte is Successfully Set"}},
        {"discovery timing as read: an unknown time code goes back as 3 s",
         "03 46 00",
         {},
         {"fa", "03 92 00"},
         press("Send_D"),
         bytes("aa92 ad"),
         {configuring, updating, "D-Byte is Successfully Set"}},
        {"primary protocol: OBEX",
         "03 92 00",
         {{Group::Opt_PP, 2}},
         {"fa", "03 92 02"},
         press("Send_P"),
         bytes("ab02 ad"),
         {configuring, updating, "P-Byte is Successfully Set"}},
        {"save",
         "03 92 00",
         {},
         {"fa"},
         press("Cmd_SaveConfig"),
         bytes("af"),
         {"Uploading......", "Configuration Data is updated in Flash"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        if (c.start)
            rig.startOnAdapter(bytes(c.start));
        for (const auto& [group, element] : c.clicks)
            rig.window->option(group, element)->click();
        for (const char* answer : c.answers)
            rig.script.answer(bytes(answer), 10);
        c.run(*rig.window);
        EXPECT_EQ(rig.newlyWritten(), c.written);
        EXPECT_EQ(rig.shown, c.shown);
    }
}

} // namespace
} // namespace qm240lx
