// Feeds arbitrary command lines, one argument a line, to the tool's option
// parser and traps when a line ends with an exit code --help does not list,
// without one line of reason, or with options no command takes together.
// Arguments that name a file of ports (@FILE) are left out: they would read
// files or standard input.

#include "Require.h"
#include "cli/CliOptions.h"

#include <cstdint>
#include <set>
#include <variant>

#include <QRegularExpression>

namespace {

using namespace qm240lx;

using fuzz::require;

std::set<int> documentedCodes()
{
    const QString help = CliOptions::helpText();
    static const QRegularExpression listed(QStringLiteral(R"(^  (\d+) )"),
                                           QRegularExpression::MultilineOption);
    std::set<int> codes;
    for (const auto& match : listed.globalMatch(help.mid(help.indexOf("Exit codes:"))))
        codes.insert(match.captured(1).toInt());
    return codes;
}

void checkFit(const CliOptions& options)
{
    const CliCommand command = options.command;
    const bool apply = command == CliCommand::Apply;
    require(apply || (!options.all && !options.check), "--all or --check outside apply");
    require(!options.save || apply || command == CliCommand::Set, "--save outside set and apply");
    require(options.changes.isEmpty() != (command == CliCommand::Set),
            "settings outside set, or set without one");
    require(!options.onlyOverrides || command == CliCommand::Scan || options.all,
            "--only-overrides outside scan and apply --all");
    require(!apply || options.ports.isEmpty() == options.all, "apply's ports do not fit --all");
    require(options.port.com || !options.port.devicePath.isEmpty(), "no port");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::set<int> codes = documentedCodes();
    QStringList arguments{QStringLiteral("qm240lx")};
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& argument : text.split(QLatin1Char('\n'))) {
        if (!argument.startsWith(QLatin1Char('@')) && !argument.contains(QLatin1String("=@")))
            arguments << argument;
    }
    const auto parsed = CliOptions::parse(arguments);
    if (const CliOptions* options = std::get_if<CliOptions>(&parsed)) {
        checkFit(*options);
        return 0;
    }
    const CliExit& exit = std::get<CliExit>(parsed);
    require(codes.contains(static_cast<int>(exit.code)), "an exit code --help does not list");
    require(!exit.text.trimmed().isEmpty(), "an exit without a reason");
    require(!exit.isError() || !exit.text.contains(QLatin1Char('\n')), "an error of many lines");
    return 0;
}
