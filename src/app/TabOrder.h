#pragma once

#include <array>
#include <string_view>

class QWidget;

namespace qm240lx {

// The window's controls by tab index, 0 first. Labels, frames, the picture
// and the status bar hold their places here but never take the focus.
inline constexpr std::array<std::string_view, 47> tabOrder{
    "Label1",      "Frame1",      "StatusBar1",  "Txt_Result",  "SSTab1",      "Frame8",
    "Opt_PP_3",    "Opt_PP_2",    "Opt_PP_1",    "Opt_PP_0",    "Send_P",      "Frame2",
    "Hspeed_0",    "Hspeed_1",    "Hspeed_2",    "Hspeed_3",    "Hspeed_4",    "Hspeed_5",
    "Hspeed_6",    "Hspeed_7",    "Frame3",      "CCTRL_0",     "CCTRL_1",     "Frame4",
    "FCTRL_0",     "FCTRL_1",     "CmdSend",     "Frame5",      "OPT_Mode_1",  "OPT_Mode_0",
    "Frame6",      "Opt_Dis_1",   "Opt_Dis_0",   "Frame7",      "OPT_DTime_5", "OPT_DTime_4",
    "OPT_DTime_3", "OPT_DTime_2", "OPT_DTime_1", "OPT_DTime_0", "Send_D",      "Cmd_SaveConfig",
    "Picture1",    "Label2",      "Cmb_Port",    "Label3",      "Label4",
};

// Chains the controls of the window that take the focus in the order above.
// The form's own tab stops cannot do it: Qt skips every pair with a control
// that takes no focus, which breaks the chain at each frame.
void applyTabOrder(QWidget& window);

} // namespace qm240lx
