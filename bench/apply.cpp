// Wall time and processor time of the real `qm240lx apply` against 1, 8 and
// 64 real emulators, qm240lx-sim, on their pseudo-terminals, each run changing
// one byte on every adapter: the ports are handled at the same time, so 8
// adapters should take no more than about 1.5 times as long as one. Then
// `apply --all` on the 64 against naming them, and the most threads qm240lx
// runs meanwhile; and `read` on 64 adapters against `read` on one.
#include "ToolRun.h"
#include "support/SimProcess.h"

#include <algorithm>
#include <cstdio>
#include <linux/magic.h>
#include <memory>
#include <sys/vfs.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

using namespace qm240lx::bench;
using qm240lx::test::SimProcess;

namespace {

constexpr int runs = 5;
constexpr int firstCom = 100;

// `count` emulators under the COM numbers from firstCom on.
struct Emulators
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QProcessEnvironment environment = environmentWithoutOverrides();
    QStringList portOptions;

    bool start(int count)
    {
        for (int index = 0; index < count; ++index) {
            sims.push_back(std::make_unique<SimProcess>());
            if (!sims.back()->start()) {
                std::printf("apply: an emulator did not start: %s\n",
                            qPrintable(sims.back()->errorString()));
                return false;
            }
            environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstCom + index),
                               sims.back()->devicePath());
            portOptions << QStringLiteral("--port") << QString::number(firstCom + index);
        }
        return true;
    }
};

bool benchApply(Emulators& emulators, int adapters)
{
    const QByteArray what = QStringLiteral("apply --port, %1 emulator%2")
                                .arg(adapters)
                                .arg(adapters == 1 ? "" : "s")
                                .toUtf8();
    const ToolRuns results =
        repeatApply(runs, emulators.portOptions.mid(0, 2 * adapters), {}, emulators.environment);
    printRuns(what.constData(), results);
    return results.allExpected;
}

int threadsOf(qint64 pid)
{
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                .size());
}

// The most threads one `apply --all` runs, sampled every millisecond.
bool mostThreads(const Emulators& emulators)
{
    QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("site.json"));
    QFile file(profile);
    if (!file.open(QIODevice::WriteOnly) || file.write(R"({"slots": 6})") < 0)
        return false;
    file.close();
    QProcess tool;
    tool.setProcessEnvironment(emulators.environment);
    tool.start(toolPath(), {QStringLiteral("apply"), profile, QStringLiteral("--all"),
                            QStringLiteral("--only-overrides")});
    if (!tool.waitForStarted())
        return false;
    int most = 0;
    while (tool.state() == QProcess::Running && !tool.waitForFinished(1))
        most = std::max(most, threadsOf(tool.processId()));
    std::printf("apply --all, %d emulators: threads in qm240lx at most %d (target <= 4)\n",
                static_cast<int>(emulators.sims.size()), most);
    return tool.exitCode() == 0;
}

// Opening a serial port writes a lock file into /var/lock, syncs it to its
// disk and removes it again on closing; one after another on 64 ports, that
// costs about 0.5 ms each where the lock folder is on a disk rather than in
// memory (tmpfs, as systemd mounts /run).
const char* lockFolderKind()
{
    struct statfs folder
    {
    };
    if (statfs("/var/lock", &folder) != 0)
        return "unknown";
    return folder.f_type == TMPFS_MAGIC ? "in memory (tmpfs)" : "on a disk";
}

// read on many ports at once: 64 adapters within 1.1 times one.
bool benchRead(const Emulators& emulators)
{
    std::printf("target: read on 64 adapters within 1.1 times read on one (/var/lock %s: each "
                "opening and closing writes a lock file there)\n",
                lockFolderKind());
    const QStringList read{QStringLiteral("read")};
    const ToolRuns one =
        repeatTool(runs, emulators.portOptions.mid(0, 2) + read, emulators.environment);
    printRuns("read, 1 emulator", one);
    const ToolRuns all = repeatTool(runs, emulators.portOptions + read, emulators.environment);
    printRuns("read, 64 emulators", all);
    std::printf("read: 64 adapters take %.2f times one\n", median(all.wallMs) / median(one.wallMs));
    return one.allExpected && all.allExpected;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Emulators emulators;
    if (!emulators.start(64))
        return 1;
    std::printf("target: 8 adapters within about 1.5 times the wall time of one\n");
    bool ok = benchApply(emulators, 1) && benchApply(emulators, 8) && benchApply(emulators, 64);
    std::printf("target: apply --all within 1.1 times apply --port naming the same adapters\n");
    const ToolRuns all =
        repeatApply(runs, {}, {QStringLiteral("--all"), QStringLiteral("--only-overrides")},
                    emulators.environment);
    printRuns("apply --all, 64 emulators", all);
    ok = ok && all.allExpected && mostThreads(emulators);
    return benchRead(emulators) && ok ? 0 : 1;
}
