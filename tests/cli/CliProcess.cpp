#include "CliProcess.h"

#include "support/Bytes.h"
#include "support/SimProcess.h"

#include <cstdint>

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace qm240lx::test {
namespace {

constexpr int runLimitMs = 30000;

} // namespace

QProcessEnvironment CliProcess::environment(const QMap<int, QString>& comOverrides)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys()) {
        if (key.startsWith(QLatin1String("QM240LX_COM")) ||
            key.startsWith(QLatin1String("QM240LX_TLS_")))
            environment.remove(key);
    }
    for (auto override = comOverrides.begin(); override != comOverrides.end(); ++override)
        environment.insert(QStringLiteral("QM240LX_COM%1").arg(override.key()), override.value());
    return environment;
}

CliProcess CliProcess::run(const QStringList& arguments, const QMap<int, QString>& comOverrides,
                           const ChildSetup& childSetup, const QString& program,
                           const QMap<QString, QString>& variables)
{
    QProcess process;
    process.setProgram(program.isEmpty() ? QStringLiteral(QM240LX_CLI_PATH) : program);
    process.setArguments(arguments);
    QProcessEnvironment env = environment(comOverrides);
    for (auto variable = variables.begin(); variable != variables.end(); ++variable)
        env.insert(variable.key(), variable.value());
    process.setProcessEnvironment(env);
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(QIODevice::ReadOnly);
    CliProcess result;
    if (!process.waitForFinished(runLimitMs)) {
        process.kill();
        process.waitForFinished();
        result.crashed = true;
    }
    result.crashed = result.crashed || process.exitStatus() != QProcess::NormalExit;
    if (result.crashed)
        result.failure = process.errorString();
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QJsonObject CliProcess::json() const
{
    return QJsonDocument::fromJson(out).object();
}

QByteArray CliProcess::tracedWrites() const
{
    static const QRegularExpression written(
        QStringLiteral("^ *[0-9]+\\.[0-9]{3} ms  \\S+ wr ((?:[0-9A-F]{2} ?)+)$"),
        QRegularExpression::MultilineOption);
    QByteArray bytes;
    auto matches = written.globalMatch(standardError());
    while (matches.hasNext())
        bytes += QByteArray::fromHex(matches.next().captured(1).toLatin1());
    return bytes;
}

void expectEnd(const CliProcess& run, int exitCode, const QString& mentions)
{
    ASSERT_FALSE(run.crashed) << run.failure.toStdString();
    EXPECT_EQ(run.exitCode, exitCode) << run.err.toStdString();
    const QString shown = exitCode == 0 ? run.standardOutput() : run.standardError();
    EXPECT_TRUE(shown.contains(mentions)) << shown.toStdString();
    if (exitCode == 0) {
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        return;
    }
    // A set that failed once the adapter answered says what it took.
    EXPECT_TRUE(run.out.isEmpty() || (run.standardOutput().count(u'\n') == 1 &&
                                      run.standardOutput().contains(QLatin1String("into flash"))))
        << run.out.toStdString();
    EXPECT_EQ(run.standardError().count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.standardError().startsWith(QLatin1String("qm240lx"))) << run.err.toStdString();
}

void expectSavedThrough(const CliProcess& set, const SimProcess& sim, qsizetype receivedBefore,
                        const QString& flash)
{
    ASSERT_TRUE(sim.waitForReceived(receivedBefore + set.tracedWrites().size()));
    EXPECT_EQ(hex(sim.received().mid(receivedBefore)), hex(set.tracedWrites()));
    QFile file(flash);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    ASSERT_EQ(saved.size(), 3);
    EXPECT_EQ(static_cast<std::uint8_t>(saved[2]), set.json()["p_byte"].toInt());
}

} // namespace qm240lx::test
