// Wall time and processor time of the real `qm240lx apply` against 1, 8 and
// 32 real emulators, qm240lx-sim, on their pseudo-terminals, each run changing
// one byte on every adapter: the ports are handled at the same time, so 8
// adapters should take no more than about 1.5 times as long as one.
#include "ToolRun.h"
#include "support/SimProcess.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QProcessEnvironment>

using namespace qm240lx::bench;
using qm240lx::test::SimProcess;

namespace {

constexpr int runs = 5;
constexpr int firstCom = 100;

bool benchApply(int adapters)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QProcessEnvironment environment = environmentWithoutOverrides();
    QStringList options;
    for (int index = 0; index < adapters; ++index) {
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start()) {
            std::printf("apply: an emulator did not start: %s\n",
                        qPrintable(sims.back()->errorString()));
            return false;
        }
        environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstCom + index),
                           sims.back()->devicePath());
        options << QStringLiteral("--port") << QString::number(firstCom + index);
    }
    const QByteArray what =
        QStringLiteral("apply, %1 emulator%2").arg(adapters).arg(adapters == 1 ? "" : "s").toUtf8();
    const ToolRuns results = repeatApply(runs, options, {}, environment);
    printRuns(what.constData(), results);
    return results.allExpected;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("target: 8 adapters within about 1.5 times the wall time of one\n");
    const bool ok = benchApply(1) && benchApply(8) && benchApply(32);
    return ok ? 0 : 1;
}
