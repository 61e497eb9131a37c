#pragma once

#include "cli/CliOptions.h"

#include <set>

#include <QRegularExpression>
#include <QString>

// What every command line the tool takes must come to, for the option table
// and the command-line fuzz target alike.
namespace qm240lx::test {

// The exit codes --help lists.
inline std::set<int> documentedCodes()
{
    const QString help = CliOptions::helpText();
    static const QRegularExpression listed(QStringLiteral(R"(^  (\d+) )"),
                                           QRegularExpression::MultilineOption);
    std::set<int> codes;
    for (const auto& match : listed.globalMatch(help.mid(help.indexOf("Exit codes:"))))
        codes.insert(match.captured(1).toInt());
    return codes;
}

// How parsed options do not fit together: each option only with a command
// it belongs to, and a port, or every port, to work on. Empty when they fit.
inline QString misfit(const CliOptions& options)
{
    using Command = CliCommand;
    const Command command = options.command;
    if (options.check && command != Command::Apply)
        return QStringLiteral("--check outside apply");
    if (options.all && command != Command::Detect && command != Command::Read &&
        command != Command::Apply)
        return QStringLiteral("--all outside detect, read and apply");
    if (options.save && command != Command::Set && command != Command::Apply &&
        command != Command::Provision)
        return QStringLiteral("--save outside set, apply and provision");
    if (options.changes.isEmpty() == (command == Command::Set))
        return QStringLiteral("settings outside set, or set without one");
    if (options.onlyOverrides && command != Command::Scan && !options.all)
        return QStringLiteral("--only-overrides outside scan and --all");
    if ((!options.log.isEmpty() || options.present) && command != Command::Provision)
        return QStringLiteral("--log or --present outside provision");
    if (options.watch.isEmpty() == (command == Command::Provision))
        return QStringLiteral("provision without a pattern, or a pattern elsewhere");
    if (command != Command::Scan && command != Command::Provision &&
        options.ports.isEmpty() != options.all)
        return QStringLiteral("no port without --all, or ports with it");
    if (!options.port.com && options.port.devicePath.isEmpty())
        return QStringLiteral("no port");
    return {};
}

} // namespace qm240lx::test
