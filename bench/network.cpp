// The real command-line tool, qm240lx, on real emulators, qm240lx-sim, each
// behind the real ser2net on this host, against the same on the emulators'
// pseudo-terminals: `read` over the pty, over RFC 2217 and over raw TCP (the
// network should add no more than a few milliseconds), `scan` across 16
// network ports, and `apply --all` across 16 network ports beside the same
// across 16 ptys, so that the network's cost shows; then `read` over
// rfc2217+tls:// and tcp+tls:// (TLS should add at most 30 ms, handshake
// included) and `apply` to 64 adapters over tcp+tls:// behind one ser2net.
// Wall time, and the processor time the tool itself used.
#include "ToolRun.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "support/TestCertificates.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QProcessEnvironment>

using namespace qm240lx::bench;
using qm240lx::test::Ser2net;
using qm240lx::test::SimProcess;
using qm240lx::test::TestCertificates;

namespace {

constexpr int readRuns = 10;
constexpr int scanRuns = 3;
constexpr int applyRuns = 3;
constexpr int manyPorts = 16;
constexpr int firstCom = 100;
constexpr int tlsAdapters = 64;

Ser2net::Tls servingTls()
{
    const TestCertificates& pki = TestCertificates::get();
    return {pki.serverCert(), pki.serverKey(), {}};
}

QProcessEnvironment trustingTestCa()
{
    QProcessEnvironment environment = environmentWithoutOverrides();
    environment.insert(QStringLiteral("QM240LX_TLS_CA"), TestCertificates::get().ca());
    return environment;
}

// The same as benchRead, inside TLS.
bool benchTlsRead()
{
    SimProcess sim;
    Ser2net server;
    if (!sim.start() || !server.start(sim.devicePath(), QStringLiteral("9600n81"), servingTls())) {
        std::printf("read over TLS: %s%s\n", qPrintable(sim.errorString()),
                    qPrintable(server.errorString()));
        return false;
    }
    std::printf("target: TLS adds at most 30 ms to a read, handshake included\n");
    printRuns("read, rfc2217+tls via ser2net",
              repeatTool(readRuns, {"--port", server.rfc2217Address(), "read"}, trustingTestCa()));
    printRuns("read, tcp+tls via ser2net",
              repeatTool(readRuns, {"--port", server.tcpAddress(), "read"}, trustingTestCa()));
    return true;
}

// 64 emulators behind one ser2net serving each over TLS, named by --port.
bool benchTlsApply()
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList devices;
    for (int index = 0; index < tlsAdapters; ++index) {
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start()) {
            std::printf("an emulator did not start: %s\n", qPrintable(sims.back()->errorString()));
            return false;
        }
        devices << sims.back()->devicePath();
    }
    Ser2net server;
    if (!server.start(devices, QStringLiteral("9600n81"), servingTls())) {
        std::printf("%s\n", qPrintable(server.errorString()));
        return false;
    }
    QStringList ports;
    for (int index = 0; index < tlsAdapters; ++index)
        ports << QStringLiteral("--port") << server.tcpAddress(index);
    const ToolRuns runs = repeatApply(applyRuns, ports, {}, trustingTestCa());
    printRuns("apply --port, 64 tcp+tls ports via one ser2net", runs);
    return runs.allExpected;
}

// ser2net keeps a device a moment after its client left, and answers a
// client of its other port meanwhile with a message of its own: each kind
// gets an emulator and a ser2net of its own.
bool benchRead(const char* what, bool rfc2217)
{
    SimProcess sim;
    Ser2net server;
    if (!sim.start() || !server.start(sim.devicePath())) {
        std::printf("read: %s%s\n", qPrintable(sim.errorString()),
                    qPrintable(server.errorString()));
        return false;
    }
    const QProcessEnvironment environment = environmentWithoutOverrides();
    if (rfc2217)
        printRuns("read, pty",
                  repeatTool(readRuns, {"--port", sim.devicePath(), "read"}, environment));
    printRuns(what, repeatTool(
                        readRuns,
                        {"--port", rfc2217 ? server.rfc2217Address() : server.tcpAddress(), "read"},
                        environment));
    return true;
}

enum class Link
{
    Pty,
    Rfc2217,
    Tcp,
    Alternating, // RFC 2217 on the even ports, raw TCP on the odd
};

// 16 emulators as QM240LX_COM100 and on: their ptys, or each behind a
// ser2net of its own.
class ManyPorts
{
public:
    bool start(Link link)
    {
        m_environment = environmentWithoutOverrides();
        for (int index = 0; index < manyPorts; ++index) {
            m_sims.push_back(std::make_unique<SimProcess>());
            if (!m_sims.back()->start()) {
                std::printf("an emulator did not start: %s\n",
                            qPrintable(m_sims.back()->errorString()));
                return false;
            }
            QString port = m_sims.back()->devicePath();
            if (link != Link::Pty) {
                m_servers.push_back(std::make_unique<Ser2net>());
                if (!m_servers.back()->start(port)) {
                    std::printf("%s\n", qPrintable(m_servers.back()->errorString()));
                    return false;
                }
                const bool rfc2217 =
                    link == Link::Rfc2217 || (link == Link::Alternating && index % 2 == 0);
                port =
                    rfc2217 ? m_servers.back()->rfc2217Address() : m_servers.back()->tcpAddress();
            }
            m_environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstCom + index), port);
        }
        return true;
    }

    const QProcessEnvironment& environment() const { return m_environment; }

private:
    // The servers end before the emulators whose devices they hold.
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    std::vector<std::unique_ptr<Ser2net>> m_servers;
    QProcessEnvironment m_environment;
};

bool benchScan(bool rfc2217)
{
    ManyPorts ports;
    if (!ports.start(rfc2217 ? Link::Rfc2217 : Link::Tcp))
        return false;
    printRuns(rfc2217 ? "scan, 16 rfc2217 ports" : "scan, 16 raw tcp ports",
              repeatTool(scanRuns, {"scan", "--only-overrides"}, ports.environment()));
    return true;
}

// Every run changes one byte on each of the 16 adapters. True when every run
// ended with exit code 0.
bool benchApplyAll(Link link, const char* what)
{
    ManyPorts ports;
    if (!ports.start(link))
        return false;
    const ToolRuns runs =
        repeatApply(applyRuns, {}, {"--all", "--only-overrides"}, ports.environment());
    printRuns(what, runs);
    return runs.allExpected;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool ok = benchRead("read, rfc2217 via ser2net", true) &&
                    benchRead("read, raw tcp via ser2net", false) && benchScan(true) &&
                    benchScan(false);
    if (!ok)
        return 1;
    const bool overNetwork = benchApplyAll(Link::Alternating, "apply --all, 16 rfc2217/tcp ports");
    const bool onPtys = benchApplyAll(Link::Pty, "apply --all, 16 ptys");
    const bool overTls = benchTlsRead() && benchTlsApply();
    return overNetwork && onPtys && overTls ? 0 : 1;
}
