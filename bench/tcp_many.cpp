// Wall time, processor time and peak resident memory of the real
// `qm240lx apply` to 1, 8, 64, 1,000 and 10,000 adapters on loopback raw TCP
// ports named by an inventory file (`--port @FILE`), each run changing one
// byte on every adapter. The adapters are served by tcp_adapters, in as many
// processes as their open-file limit asks. A count given as the first
// argument replaces the five.
#include "ToolRun.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace qm240lx::bench;

namespace {

constexpr int runs = 3;
// What qm240lx keeps for itself besides one descriptor a port.
constexpr rlim_t toolReserve = 64;
constexpr double cpuGrowthTarget = 1.25;
constexpr double wallTargetMs = 3000;
constexpr double peakTargetKb = 64;

// The far end of every port, started once for all runs of a count.
class TcpAdapters
{
public:
    ~TcpAdapters()
    {
        for (const auto& process : m_processes) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    // The loopback ports of `count` adapters, empty when a server did not
    // come up. Each tcp_adapters serves as many as its open-file limit allows.
    QList<int> start(int count)
    {
        QList<int> ports;
        while (ports.size() < count) {
            const QList<int> more = startOne(count - int(ports.size()));
            if (more.isEmpty())
                return {};
            ports += more;
        }
        return ports;
    }

    int processes() const { return int(m_processes.size()); }

    // User and system time the servers have used so far, from /proc.
    double processorMs() const
    {
        double ticks = 0;
        for (const auto& process : m_processes) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(process->processId()));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            // After the name in brackets: state, then utime and stime 11 and 12 further on.
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 12)
                ticks += fields[11].toDouble() + fields[12].toDouble();
        }
        return ticks * 1000 / double(sysconf(_SC_CLK_TCK));
    }

private:
    QList<int> startOne(int count)
    {
        auto& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(QM240LX_TCP_ADAPTERS_PATH), {QString::number(count)});
        QList<int> ports;
        while (process.waitForReadyRead(10000) || process.canReadLine()) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                if (line == "ready")
                    return ports;
                ports << line.toInt();
            }
        }
        return {};
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

bool writeInventory(const QString& path, const QList<int>& ports)
{
    QByteArray text;
    for (const int port : ports)
        text += "tcp://127.0.0.1:" + QByteArray::number(port) + '\n';
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

struct Figures
{
    double wallMs = 0;
    double cpuPerAdapterMs = 0;
    double peakKb = 0;
};

std::optional<Figures> benchApply(int adapters)
{
    TcpAdapters server;
    const QList<int> ports = server.start(adapters);
    const QTemporaryDir dir;
    const QString inventory = dir.filePath(QStringLiteral("ports.txt"));
    if (ports.isEmpty() || !dir.isValid() || !writeInventory(inventory, ports)) {
        std::printf("tcp_adapters did not start, or the inventory could not be written\n");
        return std::nullopt;
    }
    const ToolRuns results =
        repeatApply(runs, {QStringLiteral("--port"), QLatin1Char('@') + inventory}, {},
                    environmentWithoutOverrides(), [](const auto& arguments, const auto& env) {
                        return runToolRecordingMemory(arguments, env);
                    });
    const QByteArray what = QStringLiteral("apply, %1 tcp ports").arg(adapters).toUtf8();
    const QByteArray note = QStringLiteral("served by %1 tcp_adapters, %2 ms of their processor "
                                           "time per adapter and run")
                                .arg(server.processes())
                                .arg(server.processorMs() / runs / adapters, 0, 'f', 3)
                                .toUtf8();
    printRuns(what.constData(), results, note.constData());
    const Figures figures{median(results.wallMs), median(results.cpuMs) / adapters,
                          *std::max_element(results.peakKb.begin(), results.peakKb.end())};
    std::printf("%-34s wall %.3f ms, processor time of qm240lx %.3f ms per adapter\n", "",
                figures.wallMs / adapters, figures.cpuPerAdapterMs);
    std::printf("%-34s peak resident memory of qm240lx %.0f KB, %.1f KB per adapter\n", "",
                figures.peakKb, figures.peakKb / adapters);
    if (!results.allExpected)
        return std::nullopt;
    return figures;
}

// The most adapters qm240lx can be given under the hard open-file limit.
int largestCountThatFits()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    return limit.rlim_max > toolReserve ? int(limit.rlim_max - toolReserve) : 0;
}

// `wanted`, or the largest count that fits when it does not, saying so.
int countThatFits(int wanted)
{
    const int largest = largestCountThatFits();
    if (wanted <= largest)
        return wanted;
    std::printf("%d adapters need %d open files in qm240lx, but the hard limit is %d "
                "(ulimit -Hn): measuring %d instead\n",
                wanted, wanted + int(toolReserve), largest + int(toolReserve), largest);
    return largest;
}

const char* verdict(bool met)
{
    return met ? "met" : "MISSED";
}

// The largest count measured beyond 1,000 against the targets.
void compare(const std::map<int, Figures>& measured)
{
    const auto base = measured.find(1000);
    if (base == measured.end() || measured.rbegin()->first <= 1000)
        return;
    const auto& [adapters, top] = *measured.rbegin();
    const double ratio = top.cpuPerAdapterMs / base->second.cpuPerAdapterMs;
    const double peakPerAdapterKb = top.peakKb / adapters;
    std::printf("%d adapters: processor time per adapter %.2f times that of 1000 (target at "
                "most %.2f: %s); wall %.2f s (target at most %.0f s: %s); peak resident memory "
                "%.1f KB per adapter (target at most %.0f KB: %s), growing %.1f KB per adapter "
                "from 1000\n",
                adapters, ratio, cpuGrowthTarget, verdict(ratio <= cpuGrowthTarget),
                top.wallMs / 1000, wallTargetMs / 1000, verdict(top.wallMs <= wallTargetMs),
                peakPerAdapterKb, peakTargetKb, verdict(peakPerAdapterKb <= peakTargetKb),
                (top.peakKb - base->second.peakKb) / (adapters - 1000));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("targets: 1,000 adapters within 1.0 s wall and 0.5 ms of qm240lx's processor time "
                "each; 10,000 within %.0f s wall and at most %.2f times the processor time per "
                "adapter of 1,000; at most %.0f KB of peak resident memory per adapter\n",
                wallTargetMs / 1000, cpuGrowthTarget, peakTargetKb);
    const QList<int> wanted =
        argc > 1 ? QList<int>{QByteArray(argv[1]).toInt()} : QList<int>{1, 8, 64, 1000, 10000};
    std::map<int, Figures> measured;
    bool ok = true;
    for (const int count : wanted) {
        const int adapters = countThatFits(count);
        if (adapters < 1) {
            std::printf("the open-file limit leaves no room for even one adapter\n");
            ok = false;
        }
        if (adapters < 1 || measured.count(adapters) > 0)
            continue;
        const std::optional<Figures> figures = benchApply(adapters);
        ok = figures.has_value() && ok;
        if (figures)
            measured[adapters] = *figures;
    }
    compare(measured);
    return ok ? 0 : 1;
}
