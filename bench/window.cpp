// The reply wait as the user meets it: the real window, shown, with its serial
// control on a pseudo-terminal of the adapter emulator. Measures the
// processor the window uses while an upload waits for an adapter that never
// answers, and how soon it notices a save's answer that the emulator sends
// late on purpose. Run it offscreen and under a real X server (xvfb-run).
#include "app/AppStyle.h"
#include "app/ErrorBox.h"
#include "app/Frm_Dorvex.h"
#include "link/QtEventPump.h"
#include "link/QtSerialComm.h"
#include "support/SimProcess.h"
#include "ui_Frm_Dorvex.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace qm240lx;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int latencyRuns = 20;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto millis = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return millis(usage.ru_utime) + millis(usage.ru_stime);
}

long voluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

class SilentErrorBox : public ErrorBox
{
public:
    void showError(const QString&, const QString&) override {}
};

// The window shown on the emulator's device as COM1, past its start-up.
struct ShownWindow
{
    explicit ShownWindow(const QString& device)
        : comm([device](int) { return std::optional<QString>(device); },
               [](const QString&) { return false; }),
          window(WindowPlatform{comm, pump, systemTick, errorBox})
    {
        window.show();
        window.Form_Load();
    }
    QString result() { return window.form().Txt_Result->toPlainText(); }

    QtSerialComm comm;
    QtEventPump pump;
    SilentErrorBox errorBox;
    Frm_Dorvex window;
};

bool started(test::SimProcess& sim, const QStringList& arguments)
{
    if (sim.start(arguments))
        return true;
    std::fprintf(stderr, "cannot start the emulator: %s\n", qPrintable(sim.errorString()));
    return false;
}

// The upload's 3 s wait runs out; the read-back that follows first lets a
// late answer arrive for up to a second, then gets its bytes at once.
bool silentUpload()
{
    test::SimProcess sim;
    if (!started(sim, {"--silent", "ae"}))
        return false;
    ShownWindow ui(sim.devicePath());
    ui.window.option(Group::Hspeed, 6)->click();
    const double cpuBefore = cpuMs();
    const long switchesBefore = voluntarySwitches();
    const auto start = Clock::now();
    ui.window.form().CmdSend->click();
    const double wall = ms(Clock::now() - start);
    const double cpu = cpuMs() - cpuBefore;
    std::printf("window, silent upload: %.0f ms of waiting (3 s unanswered, then the read-back), "
                "%.1f ms of processor = %.3f%% of one core (target <= 1%%), %ld wake-ups; "
                "result \"%s\"\n",
                wall, cpu, 100.0 * cpu / wall, voluntarySwitches() - switchesBefore,
                qPrintable(ui.result().split('\n').first()));
    return true;
}

// The emulator answers the save `delay` ms after the opcode arrives; what the
// window takes beyond that is the time it needs to notice the answer, plus
// the trip through the pseudo-terminal both ways.
bool replyLatency()
{
    test::SimProcess sim;
    if (!started(sim, {"--delay", "50", "--delay-ops", "af"}))
        return false;
    ShownWindow ui(sim.devicePath());
    std::vector<double> late;
    for (int run = 0; run < latencyRuns; ++run) {
        const auto start = Clock::now();
        ui.window.form().Cmd_SaveConfig->click();
        late.push_back(ms(Clock::now() - start) - 50.0);
    }
    std::sort(late.begin(), late.end());
    std::printf("window, save answered 50 ms late, %d runs: noticed %.2f ms after the answer "
                "(median), %.2f ms (worst), pty trip included (target <= 2 ms); result \"%s\"\n",
                latencyRuns, late[late.size() / 2], late.back(), qPrintable(ui.result()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationStyle(app);
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    return silentUpload() && replyLatency() ? 0 : 1;
}
