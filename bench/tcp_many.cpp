// Wall time and processor time of the real `qm240lx apply` to 1, 8, 64 and
// 1,000 adapters on loopback raw TCP ports, each run changing one byte on
// every adapter; the adapters are served by one small process, tcp_adapters.
// A count given as the first argument replaces the four.
#include "ToolRun.h"

#include <cstdio>

#include <QCoreApplication>
#include <QProcess>

using namespace qm240lx::bench;

namespace {

constexpr int runs = 3;
constexpr int defaultAdapters = 1000;

// The far end of every port, started once for all runs.
class TcpAdapters
{
public:
    ~TcpAdapters()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    // The `--port tcp://127.0.0.1:N` options of the ports, empty when the
    // server did not come up.
    QStringList start(int count)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QM240LX_TCP_ADAPTERS_PATH), {QString::number(count)});
        QStringList options;
        while (m_process.waitForReadyRead(10000) || m_process.canReadLine()) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line == "ready")
                    return options;
                options << QStringLiteral("--port")
                        << QStringLiteral("tcp://127.0.0.1:%1").arg(QString::fromLatin1(line));
            }
        }
        return {};
    }

private:
    QProcess m_process;
};

} // namespace

bool benchApply(int adapters)
{
    TcpAdapters server;
    const QStringList options = server.start(adapters);
    if (options.isEmpty()) {
        std::printf("tcp_adapters did not start\n");
        return false;
    }
    const ToolRuns results = repeatApply(runs, options, {}, environmentWithoutOverrides());
    const QByteArray what = QStringLiteral("apply, %1 tcp ports").arg(adapters).toUtf8();
    printRuns(what.constData(), results);
    std::printf("%-34s wall %.2f ms, processor time of qm240lx %.2f ms per adapter\n", "",
                median(results.wallMs) / adapters, median(results.cpuMs) / adapters);
    return results.allExpected;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("target: 1,000 adapters within 1.0 s wall and 0.5 ms of qm240lx's processor time "
                "each\n");
    const QList<int> counts =
        argc > 1 ? QList<int>{QByteArray(argv[1]).toInt()} : QList<int>{1, 8, 64, 1000};
    bool ok = true;
    for (const int adapters : counts)
        ok = benchApply(adapters) && ok;
    return ok ? 0 : 1;
}
