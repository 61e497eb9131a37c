// How the reply wait behaves on a real pseudo-terminal: processor use while
// nothing arrives, delay between a reply's arrival and its noticing, and how
// late a timeout is declared. The engine alone, on its event loop; the
// window's and the tool's own figures come from their benchmarks.
#include "async/QtAlarm.h"
#include "link/PortStack.h"
#include "link/SerialDevice.h"
#include "protocol/Exchange.h"
#include "support/Finish.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>

using namespace qm240lx;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Pty
{
    int master = -1;
    int slave = -1;
    QString path;

    Pty()
    {
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        close(master);
        close(slave);
    }
};

struct Rig
{
    Pty pty;
    QtAlarm portAlarm;
    PortStack comm{std::make_unique<SerialDevice>(
                       pty.path, std::nullopt, [](const QString&) { return false; }, QStringList{}),
                   portAlarm, systemTick};
    QtAlarm alarm;
    Exchange exchange{comm, pty.path, alarm, systemTick};

    Rig() { test::finish(comm.open()); }
};

void silentWait(Rig& rig)
{
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    const WaitEnd end = test::finish(rig.exchange.waitForReply(1, 3000));
    const double wall = ms(Clock::now() - start);
    const double cpu = (cpuSeconds() - cpuBefore) * 1000.0;
    std::printf("silent 3 s wait:      %s after %.1f ms, %.2f ms of processor (%.3f%% of one core; "
                "target <= 1%%)\n",
                end == WaitEnd::Timeout ? "timeout" : "UNEXPECTED END", wall, cpu,
                100.0 * cpu / wall);
    std::printf("timeout lateness:     %.2f ms after the 3000 ms limit (target <= 50 ms)\n",
                wall - 3000.0);
}

void timeoutLateness(Rig& rig, int runs)
{
    std::vector<double> late;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        test::finish(rig.exchange.waitForReply(1, 1000));
        late.push_back(ms(Clock::now() - start) - 1000.0);
    }
    std::sort(late.begin(), late.end());
    std::printf("timeout lateness:     1000 ms limit, %d runs: median %.2f ms, worst %.2f ms "
                "(target <= 50 ms)\n",
                runs, late[late.size() / 2], late.back());
}

void replyLatency(Rig& rig, int runs)
{
    std::vector<double> latency;
    for (int run = 0; run < runs; ++run) {
        test::finish(rig.exchange.quietLine(3000));
        Clock::time_point written;
        std::thread adapter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + (run * 7) % 60));
            written = Clock::now();
            const char ack = static_cast<char>(0xFA);
            [[maybe_unused]] auto n = write(rig.pty.master, &ack, 1);
        });
        const WaitEnd end = test::finish(rig.exchange.waitForReply(1, 3000));
        const auto noticed = Clock::now();
        adapter.join();
        if (end == WaitEnd::Data)
            latency.push_back(ms(noticed - written));
        rig.exchange.readReply();
    }
    std::sort(latency.begin(), latency.end());
    std::printf("reply noticed after:  %d of %d replies, median %.3f ms, worst %.3f ms "
                "(target <= 2 ms)\n",
                static_cast<int>(latency.size()), runs, latency[latency.size() / 2],
                latency.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Rig rig;
    if (!rig.comm.isOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(rig.pty.path));
        return 1;
    }
    replyLatency(rig, 50);
    timeoutLateness(rig, 5);
    silentWait(rig);
    return 0;
}
