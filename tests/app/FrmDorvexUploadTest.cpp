// Each procedure end to end through the window, on a virtual line with a
// scripted adapter: the control runs its command with the bytes the
// selections build, and the result box shows each text in order.
#include "WindowRig.h"

#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::WindowRig;

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
        EXPECT_EQ(rig.newlyWritten(), bytes(c.written));
        EXPECT_EQ(rig.shown, c.shown);
    }
}

} // namespace
} // namespace qm240lx
