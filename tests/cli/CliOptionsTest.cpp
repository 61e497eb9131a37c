#include "cli/CliOptions.h"

#include "settings/SettingTable.h"
#include "settings/SettingText.h"
#include "support/CliLines.h"

#include <set>
#include <tuple>
#include <vector>

#include <QRegularExpression>
#include <QTemporaryFile>

#include <gtest/gtest.h>

// The expected options name only the fields that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qm240lx {
namespace {

using test::documentedCodes;
using test::misfit;

std::variant<CliOptions, CliExit> parse(const char* line)
{
    return CliOptions::parse(QStringList{QStringLiteral("qm240lx")} +
                             QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts));
}

TEST(CliOptions, AValidLineGivesTheOptions)
{
    using Command = CliCommand;
    const auto com = PortChoice::comPort;
    const std::pair<const char*, CliOptions> cases[] = {
        {"detect", {.port = com(1), .command = Command::Detect, .ports = {com(1)}}},
        {"--port 7 read", {.port = com(7), .command = Command::Read, .ports = {com(7)}}},
        {"--port=/dev/ttyUSB0 save",
         {.port = {std::nullopt, "/dev/ttyUSB0"},
          .command = Command::Save,
          .ports = {{std::nullopt, "/dev/ttyUSB0"}}}},
        {"--json --trace read",
         {.json = true, .trace = true, .command = Command::Read, .ports = {com(1)}}},
        {"--port 2 set --baud 115200 --ignore-cts yes --ignore-dsr NO --mode secondary-only "
         "--slots 6 --discovery-time 5 --protocol irsocket",
         {.port = com(2),
          .command = Command::Set,
          .changes = {.baudRate = 115200,
                      .ignoreCts = true,
                      .ignoreDsr = false,
                      .mode = DiscoveryMode::SecondaryOnly,
                      .discoverySlots = 6,
                      .discoveryTimeS = 5,
                      .protocol = PrimaryProtocol::IrSocket},
          .ports = {com(2)}}},
        {"set --baud 1200 --save",
         {.command = Command::Set, .changes = {.baudRate = 1200}, .save = true, .ports = {com(1)}}},
        {"scan --only-overrides",
         {.command = Command::Scan, .onlyOverrides = true, .ports = {com(1)}}},
        {"--port 3 --port /dev/ttyUSB0 save",
         {.port = com(3),
          .command = Command::Save,
          .ports = {com(3), {std::nullopt, "/dev/ttyUSB0"}}}},
        {"read --all --only-overrides",
         {.command = Command::Read, .onlyOverrides = true, .all = true}},
        {"apply site.json", {.command = Command::Apply, .ports = {com(1)}, .profile = "site.json"}},
        {"--port 3 apply - --port /dev/ttyUSB0 --port com3 --save",
         {.port = com(3),
          .command = Command::Apply,
          .save = true,
          .ports = {com(3), {std::nullopt, "/dev/ttyUSB0"}},
          .profile = "-"}},
        {"--json apply site.json --all --only-overrides --check",
         {.json = true,
          .command = Command::Apply,
          .onlyOverrides = true,
          .profile = "site.json",
          .check = true,
          .all = true}},
    };
    for (const auto& [line, expected] : cases) {
        const auto parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed))
            << line << ": " << std::get<CliExit>(parsed).text.toStdString();
        EXPECT_TRUE(std::get<CliOptions>(parsed) == expected) << line;
    }
}

TEST(CliOptions, OtherLinesEndWithTheCodeAndSayWhy)
{
    const std::tuple<const char*, ExitCode, const char*> cases[] = {
        {"--help", ExitCode::Success, "Exit codes:"},
        {"--help", ExitCode::Success, "set: discovery slots, 1 or 6."},
        {"--version", ExitCode::Success, "qm240lx " QM240LX_VERSION},
        {"", ExitCode::Usage, "no command"},
        {"flash", ExitCode::Usage, "'flash'"},
        {"--speed 9600 set", ExitCode::Usage, "speed"},
        {"--port 0 read", ExitCode::Usage, "--port 0"},
        {"--port usb read", ExitCode::Usage, "--port usb"},
        {"set --save", ExitCode::Usage, "at least one"},
        {"set --baud 14400", ExitCode::Usage, "--baud 14400"},
        {"set --ignore-cts maybe", ExitCode::Usage, "--ignore-cts maybe: expected yes or no"},
        {"set --mode primary", ExitCode::Usage, "--mode primary"},
        {"set --discovery-time 6", ExitCode::Usage, "--discovery-time 6"},
        {"set --protocol irda", ExitCode::Usage, "--protocol irda"},
        {"read --baud 9600", ExitCode::Usage, "--baud belongs to the set command"},
        {"read --only-overrides", ExitCode::Usage, "scan command"},
        {"set --baud 9600 --all", ExitCode::Usage, "--all belongs to the detect, read and apply"},
        {"save --all", ExitCode::Usage, "--all belongs to the detect, read and apply"},
        {"detect --all --port 3", ExitCode::Usage, "--all probes every port"},
        {"apply", ExitCode::Usage, "apply needs a profile"},
        {"apply one.json two.json", ExitCode::Usage, "unexpected argument 'two.json'"},
        {"apply site.json --check --save", ExitCode::Usage, "--check compares only"},
        {"apply site.json --all --port 3", ExitCode::Usage, "--all probes every port"},
        {"apply site.json --only-overrides", ExitCode::Usage, "--only-overrides belongs to"},
        {"set --baud 9600 --check", ExitCode::Usage, "--check belongs to the apply command"},
        {"detect --save", ExitCode::Usage,
         "--save belongs to the set, apply and provision commands"},
        {"--port 3 --port 4 set --baud 9600", ExitCode::Usage,
         "only detect, read, save and apply take more than one --port"},
    };
    for (const auto& [line, code, mentions] : cases) {
        SCOPED_TRACE(line);
        const auto parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
        const CliExit& exit = std::get<CliExit>(parsed);
        EXPECT_EQ(exit.code, code);
        EXPECT_TRUE(exit.text.contains(QLatin1String(mentions))) << exit.text.toStdString();
        EXPECT_TRUE(!exit.isError() || !exit.text.contains(u'\n')) << "errors are one line";
    }
}

// An option as a command line gives it: with a good value, a bad one
// (refused whatever the command) or, last on the line only, none.
struct Use
{
    QStringList arguments;
    bool bad;
    bool lastOnly = false;
};

std::vector<Use> usesOf(const QString& name, bool takesValue, const QString& portsFile)
{
    const QString option = QStringLiteral("--") + name;
    if (!takesValue)
        return {{{option}, false}, {{option + "=1"}, true}};
    std::vector<Use> uses{{{option}, true, true}};
    const auto setting = std::ranges::find_if(
        settingTable, [&](const Setting& each) { return name == each.option; });
    if (name == QLatin1String("port")) {
        for (const QString& good : {QStringLiteral("3"), "@" + portsFile})
            uses.push_back({{option, good}, false});
        for (const char* bad : {"0", "tcp://host", "@/nonexistent/ports"})
            uses.push_back({{option, bad}, true});
    } else if (setting != settingTable.end()) {
        uses.push_back({{option, settingText::names(*setting).constFirst()}, false});
        uses.push_back({{option, "bogus"}, true});
    } else {
        uses.push_back({{option, "file.pem"}, false});
    }
    return uses;
}

// Every option --help lists, alone and in ordered pairs.
std::vector<Use> optionLines(const QString& portsFile)
{
    static const QRegularExpression listed(QStringLiteral(R"(^  (?:-\w, )?--([a-z-]+)( <)?)"),
                                           QRegularExpression::MultilineOption);
    std::vector<std::vector<Use>> options;
    for (const auto& match : listed.globalMatch(CliOptions::helpText()))
        options.push_back(usesOf(match.captured(1), match.hasCaptured(2), portsFile));
    std::vector<Use> lines;
    for (std::size_t first = 0; first < options.size(); ++first) {
        lines.insert(lines.end(), options[first].begin(), options[first].end());
        for (std::size_t second = 0; second < options.size(); ++second) {
            for (const Use& a : options[first]) {
                for (const Use& b : options[second]) {
                    if (first != second && !a.lastOnly)
                        lines.push_back({a.arguments + b.arguments, a.bad || b.bad});
                }
            }
        }
    }
    return lines;
}

// How one command line ends wrongly; empty when it ends as it should.
QString judge(const QStringList& line, bool refused, const std::set<int>& codes)
{
    const auto parsed = CliOptions::parse(QStringList{"qm240lx"} + line);
    if (const CliOptions* options = std::get_if<CliOptions>(&parsed))
        return refused ? QStringLiteral("taken") : misfit(*options);
    const CliExit& exit = std::get<CliExit>(parsed);
    if (!codes.contains(toInt(exit.code)))
        return QStringLiteral("undocumented exit code %1").arg(toInt(exit.code));
    if (exit.text.trimmed().isEmpty() || (exit.isError() && exit.text.contains(u'\n')))
        return QStringLiteral("not one line of reason: ") + exit.text;
    if (!exit.isError() && !line.contains("--help") && !line.contains("--version"))
        return QStringLiteral("success without running: ") + exit.text;
    return {};
}

// Each command with every option --help lists, alone and in pairs, given good,
// bad and missing values: each line ends with a documented code and a reason,
// or with options a command can run; none ends the process.
TEST(CliOptions, EveryOptionAloneAndInPairsEndsDocumented)
{
    QTemporaryFile ports;
    ASSERT_TRUE(ports.open() && ports.write("3\n") == 2 && ports.flush());
    const std::vector<Use> lines = optionLines(ports.fileName());
    const std::set<int> codes = documentedCodes();
    ASSERT_TRUE(codes.contains(64) && codes.contains(66)) << "codes read from --help";
    QStringList wrong;
    int judged = 0;
    for (const char* command : {"", "detect", "read", "set", "save", "scan", "apply site.json",
                                "provision site.json", "flash"}) {
        for (const Use& use : lines) {
            const QStringList line =
                QString(command).split(u' ', Qt::SkipEmptyParts) + use.arguments;
            const bool helps = line.contains("--help") || line.contains("--version");
            const QString why = judge(line, use.bad && !helps, codes);
            ++judged;
            if (!why.isEmpty())
                wrong << line.join(u' ') + ": " + why;
        }
    }
    EXPECT_GT(judged, 10'000);
    EXPECT_TRUE(wrong.isEmpty()) << wrong.size() << " lines, the first: "
                                 << wrong.mid(0, 5).join(u'\n').toStdString();
}

} // namespace
} // namespace qm240lx
