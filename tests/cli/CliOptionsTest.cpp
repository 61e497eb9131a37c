#include "cli/CliOptions.h"

#include <ostream>
#include <vector>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QStringList commandLine(const std::vector<const char*>& arguments)
{
    QStringList line{QStringLiteral("qm240lx")};
    for (const char* argument : arguments)
        line << QString::fromLatin1(argument);
    return line;
}

struct ValidCase
{
    const char* name;
    std::vector<const char*> arguments;
    CliOptions expected;
};

void PrintTo(const ValidCase& c, std::ostream* out)
{
    *out << c.name;
}

class ValidCommandLine : public testing::TestWithParam<ValidCase>
{
};

TEST_P(ValidCommandLine, GivesTheOptions)
{
    const auto parsed = CliOptions::parse(commandLine(GetParam().arguments));
    const CliExit* exit = std::get_if<CliExit>(&parsed);
    ASSERT_EQ(exit, nullptr) << exit->text.toStdString();
    EXPECT_TRUE(std::get<CliOptions>(parsed) == GetParam().expected);
}

CliOptions options(CliCommand command, std::optional<PortChoice> port = std::nullopt)
{
    CliOptions result;
    result.command = command;
    if (port)
        result.port = *port;
    return result;
}

CliOptions flagged(CliOptions base, bool json, bool trace)
{
    base.json = json;
    base.trace = trace;
    return base;
}

CliOptions setting(const FieldChanges& changes, bool save)
{
    CliOptions result = options(CliCommand::Set, PortChoice::comPort(2));
    result.changes = changes;
    result.save = save;
    return result;
}

FieldChanges everyField()
{
    FieldChanges changes;
    changes.baudRate = 115200;
    changes.ignoreCts = true;
    changes.ignoreDsr = false;
    changes.mode = DiscoveryMode::SecondaryOnly;
    changes.discoverySlots = 6;
    changes.discoveryTimeS = 5;
    changes.protocol = PrimaryProtocol::IrSocket;
    return changes;
}

FieldChanges baudOnly(int rate)
{
    FieldChanges changes;
    changes.baudRate = rate;
    return changes;
}

CliOptions onlyOverrides()
{
    CliOptions result = options(CliCommand::Scan);
    result.onlyOverrides = true;
    return result;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ValidCommandLine,
    testing::Values(ValidCase{"defaultPortIsCom1",
                              {"detect"},
                              options(CliCommand::Detect, PortChoice::comPort(1))},
                    ValidCase{"plainNumber",
                              {"--port", "7", "read"},
                              options(CliCommand::Read, PortChoice::comPort(7))},
                    ValidCase{"upperCom",
                              {"--port", "COM12", "read"},
                              options(CliCommand::Read, PortChoice::comPort(12))},
                    ValidCase{"lowerComAfterCommand",
                              {"read", "--port", "com255"},
                              options(CliCommand::Read, PortChoice::comPort(255))},
                    ValidCase{"devicePath",
                              {"--port=/dev/ttyUSB0", "save"},
                              options(CliCommand::Save, PortChoice{std::nullopt, "/dev/ttyUSB0"})},
                    ValidCase{"jsonAndTrace",
                              {"--json", "--trace", "read"},
                              flagged(options(CliCommand::Read), true, true)},
                    ValidCase{"everyField",
                              {"--port", "2", "set", "--baud", "115200", "--ignore-cts", "yes",
                               "--ignore-dsr", "NO", "--mode", "secondary-only", "--slots", "6",
                               "--discovery-time", "5", "--protocol", "irsocket"},
                              setting(everyField(), false)},
                    ValidCase{"baudAndSave",
                              {"--port", "2", "set", "--baud", "1200", "--save"},
                              setting(baudOnly(1200), true)},
                    ValidCase{"scanOverrides", {"scan", "--only-overrides"}, onlyOverrides()}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExitCase
{
    const char* name;
    std::vector<const char*> arguments;
    ExitCode code;
    const char* mentions;
};

void PrintTo(const ExitCase& c, std::ostream* out)
{
    *out << c.name;
}

class EndingCommandLine : public testing::TestWithParam<ExitCase>
{
};

TEST_P(EndingCommandLine, EndsWithTheCodeAndSaysWhy)
{
    const auto parsed = CliOptions::parse(commandLine(GetParam().arguments));
    const CliExit* exit = std::get_if<CliExit>(&parsed);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->code, GetParam().code);
    EXPECT_TRUE(exit->text.contains(QLatin1String(GetParam().mentions)))
        << exit->text.toStdString();
    if (exit->isError()) {
        EXPECT_FALSE(exit->text.contains(QLatin1Char('\n'))) << "errors are one line";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, EndingCommandLine,
    testing::Values(
        ExitCase{"help", {"--help"}, ExitCode::Success, "Exit codes:"},
        ExitCase{
            "helpNamesEveryCommand", {"-h"}, ExitCode::Success, "detect, read, set, save or scan"},
        ExitCase{"helpNamesDialout", {"--help"}, ExitCode::Success, "dialout"},
        ExitCase{"version", {"--version"}, ExitCode::Success, QM240LX_VERSION},
        ExitCase{"noCommand", {}, ExitCode::Usage, "no command"},
        ExitCase{"unknownCommand", {"flash"}, ExitCode::Usage, "'flash'"},
        ExitCase{"twoCommands", {"read", "save"}, ExitCode::Usage, "'save'"},
        ExitCase{"unknownOption", {"--speed", "9600", "set"}, ExitCode::Usage, "speed"},
        ExitCase{"portZero", {"--port", "0", "read"}, ExitCode::Usage, "--port 0"},
        ExitCase{"port256", {"--port", "COM256", "read"}, ExitCode::Usage, "1 to 255"},
        ExitCase{"portWord", {"--port", "usb", "read"}, ExitCode::Usage, "usb"},
        ExitCase{"portEmpty", {"--port", "", "read"}, ExitCode::Usage, "--port"},
        ExitCase{"setWithoutField", {"set"}, ExitCode::Usage, "at least one"},
        ExitCase{"setOnlySave", {"set", "--save"}, ExitCode::Usage, "at least one"},
        ExitCase{"oddBaud", {"set", "--baud", "14400"}, ExitCode::Usage, "--baud 14400"},
        ExitCase{"baudNotNumber", {"set", "--baud", "fast"}, ExitCode::Usage, "--baud fast"},
        ExitCase{"ctsMaybe", {"set", "--ignore-cts", "maybe"}, ExitCode::Usage, "yes or no"},
        ExitCase{"dsrTrue", {"set", "--ignore-dsr", "true"}, ExitCode::Usage, "yes or no"},
        ExitCase{"modeUnknown", {"set", "--mode", "primary"}, ExitCode::Usage, "secondary-only"},
        ExitCase{"slotsTwo", {"set", "--slots", "2"}, ExitCode::Usage, "1 or 6"},
        ExitCase{
            "timeSix", {"set", "--discovery-time", "6"}, ExitCode::Usage, "--discovery-time 6"},
        ExitCase{
            "timeZero", {"set", "--discovery-time", "0"}, ExitCode::Usage, "--discovery-time 0"},
        ExitCase{"protocolUnknown", {"set", "--protocol", "irda"}, ExitCode::Usage, "irsocket"},
        ExitCase{"settingOnRead", {"read", "--baud", "9600"}, ExitCode::Usage, "set command"},
        ExitCase{"saveOnRead", {"read", "--save"}, ExitCode::Usage, "set command"},
        ExitCase{"overridesOnRead", {"read", "--only-overrides"}, ExitCode::Usage, "scan command"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace qm240lx
