// The built qm240lx-setup as its own process, stopped by a signal while it
// waits for the adapter.
#include "support/InterruptedRun.h"
#include "support/SimProcess.h"

#include <csignal>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::InterruptedRun;
using test::SimProcess;

QProcessEnvironment windowOn(const QString& device)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys()) {
        if (key.startsWith(QLatin1String("QM240LX_COM")))
            environment.remove(key);
    }
    environment.insert(QStringLiteral("QM240LX_COM1"), device);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// The window closes as if its user had closed it: the wait ends, the port
// and its lock go. A late answer shows that the wait did not run on: the
// read-back would follow it.
TEST(Signals, EndTheWaitCloseThePortAndEndTheWindow)
{
    struct Case
    {
        int signal;
        QStringList sim;
    };
    const Case cases[] = {{SIGINT, {"--silent", "all"}},
                          {SIGTERM, {"--delay", "1500"}},
                          {SIGHUP, {"--silent", "all"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        SimProcess sim;
        ASSERT_TRUE(sim.start(c.sim)) << sim.errorString().toStdString();
        const InterruptedRun run = InterruptedRun::run(QStringLiteral(QM240LX_SETUP_PATH), {},
                                                       windowOn(sim.devicePath()), sim, c.signal);
        ASSERT_TRUE(run.probed) << run.err.toStdString();
        EXPECT_EQ(run.locksWhileWaiting.size(), 1) << run.locksWhileWaiting.join(' ').toStdString();
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(run.exitedNormally);
        EXPECT_EQ(run.exitCode, 128 + c.signal) << run.err.toStdString();
        EXPECT_TRUE(run.locksAfter.isEmpty()) << run.locksAfter.join(' ').toStdString();
        EXPECT_EQ(sim.received(), QByteArray(1, '\xAC'));
    }
}

} // namespace
} // namespace qm240lx
