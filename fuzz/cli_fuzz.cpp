// Feeds arbitrary command lines, one argument a line, to the tool's option
// parser and traps when a line ends with an exit code --help does not list,
// without one line of reason, or with options no command takes together.
// Arguments that name a file of ports (@FILE) are left out: they would read
// files or standard input.

#include "Require.h"
#include "cli/CliOptions.h"
#include "support/CliLines.h"

#include <cstdint>
#include <set>
#include <variant>

namespace {

using namespace qm240lx;

using fuzz::require;

void checkFit(const CliOptions& options)
{
    const QString misfit = test::misfit(options);
    require(misfit.isEmpty(), "options that do not fit together");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::set<int> codes = test::documentedCodes();
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
