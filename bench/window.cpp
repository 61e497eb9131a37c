// The reply wait as the user meets it: the real window, shown, with its serial
// control on a pseudo-terminal of the adapter emulator. Measures the
// processor the window uses while an upload waits for an adapter that never
// answers, and how soon it notices a save's answer that the emulator sends
// late on purpose, and the longest time its GUI thread stays away from its
// event loop (the worst lateness of a 5 ms timer) while it starts up, sends,
// saves, or opens a network port whose server never answers. Run it
// offscreen and under a real X server (xvfb-run).
#include "app/AppStyle.h"
#include "app/ErrorBox.h"
#include "app/Frm_Dorvex.h"
#include "async/QtAlarm.h"
#include "link/ComPorts.h"
#include "support/SimProcess.h"
#include "ui_Frm_Dorvex.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTimer>

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

// The worst lateness of a timer due every 5 ms: how long the thread at most
// stayed away from its event loop.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            m_worst = std::max(m_worst, ms(now - m_last) - 5.0);
            m_last = now;
        });
        m_timer.start(5);
    }
    double worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    Clock::time_point m_last = Clock::now();
    double m_worst = 0;
};

// The window shown with COM1 standing for `device`.
struct ShownWindow
{
    explicit ShownWindow(const QString& device)
        : ports(PortMaker(PortOptions{{}, [](const QString&) { return false; }}, portAlarm,
                          systemTick),
                [device](const QString&) { return std::optional<QString>(device); }),
          window(WindowPlatform{ports, alarm, systemTick, errorBox})
    {
        window.show();
    }
    QString result() { return window.form().Txt_Result->toPlainText(); }
    // Runs the event loop until the window's command has ended.
    void finish()
    {
        QEventLoop loop;
        QObject::connect(&window, &Frm_Dorvex::commandFinished, &loop, &QEventLoop::quit);
        if (window.waiting())
            loop.exec();
    }
    void load()
    {
        window.Form_Load();
        finish();
    }
    void click(QAbstractButton* button)
    {
        button->click();
        finish();
    }

    QtAlarm portAlarm;
    ComPorts ports;
    QtAlarm alarm;
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
    ui.load();
    ui.window.option(Group::Hspeed, 6)->click();
    const double cpuBefore = cpuMs();
    const long switchesBefore = voluntarySwitches();
    const auto start = Clock::now();
    ui.click(ui.window.form().CmdSend);
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
    ui.load();
    std::vector<double> late;
    for (int run = 0; run < latencyRuns; ++run) {
        const auto start = Clock::now();
        ui.click(ui.window.form().Cmd_SaveConfig);
        late.push_back(ms(Clock::now() - start) - 50.0);
    }
    std::sort(late.begin(), late.end());
    std::printf("window, save answered 50 ms late, %d runs: noticed %.2f ms after the answer "
                "(median), %.2f ms (worst), pty trip included (target <= 2 ms); result \"%s\"\n",
                latencyRuns, late[late.size() / 2], late.back(), qPrintable(ui.result()));
    return true;
}

// Start-up, an upload and a save on the emulator's pty.
bool stallOnAnAdapter()
{
    test::SimProcess sim;
    if (!started(sim, {}))
        return false;
    ShownWindow ui(sim.devicePath());
    const StallProbe probe;
    ui.load();
    ui.window.option(Group::Opt_PP, 2)->click();
    ui.click(ui.window.form().Send_P);
    ui.click(ui.window.form().Cmd_SaveConfig);
    std::printf("window, longest stall of the GUI thread on a pty adapter (start-up, upload, "
                "save): %.2f ms (target <= 50 ms); result \"%s\"\n",
                probe.worstMs(), qPrintable(ui.result()));
    return true;
}

// A server that takes the connection and never says a word: the opening runs
// into its 3 s bound.
bool stallOnASilentServer()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return false;
    }
    ShownWindow ui(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort()));
    const StallProbe probe;
    const auto start = Clock::now();
    ui.load();
    std::printf("window, longest stall of the GUI thread while an rfc2217:// server never "
                "answers: %.2f ms over %.0f ms (target <= 50 ms)\n",
                probe.worstMs(), ms(Clock::now() - start));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationStyle(app);
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    return silentUpload() && replyLatency() && stallOnAnAdapter() && stallOnASilentServer() ? 0 : 1;
}
