// The real `qm240lx provision` as a station, with qm240lx-sim emulators
// plugged in and out as links in a watched folder: the time from a device's
// appearance to its probe over 100 plugs (median and worst; the 200 ms pause
// before every probe included), then the station's resident memory and open
// descriptors after 100 and 1,000 plugs, four devices at a time.
#include "ToolRun.h"
#include "support/SimProcess.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace qm240lx::bench;
using qm240lx::test::SimProcess;

namespace {

constexpr int latencyPlugs = 100;
constexpr int memoryPlugs = 1000;
constexpr int together = 4;

class Station
{
public:
    bool start(const QString& folder)
    {
        QFile profile(folder + QStringLiteral("/site.json"));
        if (!profile.open(QIODevice::WriteOnly) || profile.write(R"({"slots": 6})") < 0)
            return false;
        profile.close();
        m_process.setProcessEnvironment(environmentWithoutOverrides());
        m_process.start(toolPath(),
                        {QStringLiteral("provision"), profile.fileName(), QStringLiteral("--save"),
                         QStringLiteral("--watch"), folder + QStringLiteral("/tty*")});
        // It watches once it says so.
        m_process.setReadChannel(QProcess::StandardError);
        QByteArray said;
        while (!said.contains("watching") && m_process.waitForReadyRead(10000))
            said += m_process.readAllStandardError();
        m_process.setReadChannel(QProcess::StandardOutput);
        return said.contains("watching");
    }

    ~Station()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }

    // Waits until the station has reported `count` devices in all.
    bool waitForLines(int count)
    {
        while (m_lines < count) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(10000))
                return false;
            while (m_process.canReadLine()) {
                m_process.readLine();
                ++m_lines;
            }
        }
        return true;
    }

    // "VmRSS" or "VmHWM" of /proc/PID/status, in KiB.
    long memoryKiB(const char* field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLong();
        }
        return -1;
    }

    qsizetype descriptors() const
    {
        return QDir(QStringLiteral("/proc/%1/fd").arg(m_process.processId()))
            .entryList(QDir::System | QDir::NoDotAndDotDot)
            .size();
    }

private:
    QProcess m_process;
    int m_lines = 0;
};

struct Bench
{
    QTemporaryDir folder;
    std::vector<std::unique_ptr<SimProcess>> sims;
    Station station;
    int plugs = 0;

    QString link(std::size_t index) const
    {
        return folder.filePath(QStringLiteral("tty%1").arg(index));
    }

    // Plugs the emulators [first, first + count), waits for their lines, and
    // unplugs them; the time from each link to its probe goes to `latencies`.
    bool plugRound(std::size_t first, std::size_t count, std::vector<double>* latencies)
    {
        std::vector<qsizetype> heard;
        QElapsedTimer since;
        since.start();
        for (std::size_t index = first; index < first + count; ++index) {
            heard.push_back(sims[index]->received().size());
            if (!QFile::link(sims[index]->devicePath(), link(index)))
                return false;
        }
        for (std::size_t index = first; index < first + count; ++index) {
            if (!sims[index]->waitForReceived(heard[index - first] + 1))
                return false;
            if (latencies)
                latencies->push_back(since.nsecsElapsed() / 1e6);
        }
        plugs += static_cast<int>(count);
        const bool reported = station.waitForLines(plugs);
        for (std::size_t index = first; index < first + count; ++index)
            QFile::remove(link(index));
        return reported;
    }
};

void printMemory(const Station& station, int plugs)
{
    std::printf("provision, after %4d plugs: resident %ld KiB (peak %ld KiB), %lld open "
                "descriptors\n",
                plugs, station.memoryKiB("VmRSS"), station.memoryKiB("VmHWM"),
                static_cast<long long>(station.descriptors()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Bench bench;
    for (int index = 0; index < 2 * together; ++index) {
        bench.sims.push_back(std::make_unique<SimProcess>());
        if (!bench.sims.back()->start())
            return 1;
    }
    if (!bench.station.start(bench.folder.path()))
        return 1;
    // One at a time, two emulators in turn: each is unplugged for a whole
    // round before it comes back.
    std::vector<double> latencies;
    for (int plug = 0; plug < latencyPlugs; ++plug) {
        if (!bench.plugRound(plug % 2, 1, &latencies))
            return 1;
    }
    const auto worst = std::ranges::max(latencies);
    std::printf("provision: appearance to probe over %d plugs: median %.1f ms, worst %.1f ms "
                "(the 200 ms pause before the probe included)\n",
                latencyPlugs, median(latencies), worst);
    printMemory(bench.station, bench.plugs);
    while (bench.plugs < memoryPlugs) {
        const std::size_t half = (bench.plugs / together) % 2;
        if (!bench.plugRound(half * together, together, nullptr))
            return 1;
    }
    printMemory(bench.station, bench.plugs);
    return 0;
}
