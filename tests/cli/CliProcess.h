#pragma once

#include <functional>

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qm240lx::test {

class SimProcess;

// One run of the built qm240lx program. The environment is the test's own
// without any QM240LX_COM<n>, plus the given overrides, so that no run ever
// reaches a real serial device.
struct CliProcess
{
    using ChildSetup = std::function<void()>;

    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;

    QString failure; // why it did not run to its end, when it did not

    // `program` is the built qm240lx unless given; `variables` go into its
    // environment too.
    static CliProcess run(const QStringList& arguments, const QMap<int, QString>& comOverrides,
                          const ChildSetup& childSetup = {}, const QString& program = {},
                          const QMap<QString, QString>& variables = {});

    // The test's environment without any QM240LX_COM<n>, plus `comOverrides`.
    static QProcessEnvironment environment(const QMap<int, QString>& comOverrides);

    QString standardOutput() const { return QString::fromLocal8Bit(out); }
    QString standardError() const { return QString::fromLocal8Bit(err); }

    // Standard output as a JSON object; an empty one when it is not.
    QJsonObject json() const;

    // The bytes the --trace lines show as written ("wr"), in order.
    QByteArray tracedWrites() const;
};

// Checks how a run ended: a success prints on standard output only and
// mentions `mentions` there; a failure prints one line, "qm240lx: ...", on
// standard error only, mentioning it.
void expectEnd(const CliProcess& run, int exitCode, const QString& mentions);

// Checks that a `set --save --trace` reached the emulator: the bytes its
// trace shows written are those the emulator received after
// `receivedBefore`, and the P-Byte it reports is the one in `flash`.
void expectSavedThrough(const CliProcess& set, const SimProcess& sim, qsizetype receivedBefore,
                        const QString& flash);

} // namespace qm240lx::test
