#include "cli/CliOptions.h"

#include <tuple>

#include <gtest/gtest.h>

// The expected options name only the fields that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qm240lx {
namespace {

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

} // namespace
} // namespace qm240lx
