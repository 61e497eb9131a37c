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

TEST(ApplyOptions, TakeTheProfileAndEachPortOnce)
{
    const auto com = PortChoice::comPort;
    const auto path = [](const char* device) { return PortChoice{std::nullopt, device}; };
    const auto apply = CliCommand::Apply;
    const std::pair<const char*, CliOptions> cases[] = {
        {"apply site.json", {.command = apply, .ports = {com(1)}, .profile = "site.json"}},
        {"--port 3 apply - --port /dev/ttyUSB0 --port com3 --save",
         {.port = com(3),
          .command = apply,
          .save = true,
          .ports = {com(3), path("/dev/ttyUSB0")},
          .profile = "-"}},
        {"--json apply site.json --all --only-overrides --check",
         {.json = true,
          .command = apply,
          .onlyOverrides = true,
          .profile = "site.json",
          .check = true,
          .all = true}},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        const auto parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed))
            << std::get<CliExit>(parsed).text.toStdString();
        EXPECT_TRUE(std::get<CliOptions>(parsed) == expected);
    }
}

TEST(ApplyOptions, RefuseWhatDoesNotFit)
{
    const std::pair<const char*, const char*> cases[] = {
        {"apply", "apply needs a profile"},
        {"apply one.json two.json", "unexpected argument 'two.json'"},
        {"apply site.json --check --save", "--check compares only"},
        {"apply site.json --all --port 3", "--all probes every port"},
        {"apply site.json --baud 9600", "--baud belongs to the set command"},
        {"apply site.json --only-overrides", "--only-overrides belongs to"},
        {"apply site.json --port 0", "--port 0: expected"},
        {"set --baud 9600 --check", "--check belongs to the apply command"},
        {"read --all", "--all belongs to the apply command"},
        {"detect --save", "--save belongs to the set and apply commands"},
        {"--port 3 --port 4 read", "only apply takes more than one --port"},
    };
    for (const auto& [line, mentions] : cases) {
        SCOPED_TRACE(line);
        const auto parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<CliExit>(parsed));
        EXPECT_EQ(std::get<CliExit>(parsed).code, ExitCode::Usage);
        EXPECT_TRUE(std::get<CliExit>(parsed).text.contains(QLatin1String(mentions)))
            << std::get<CliExit>(parsed).text.toStdString();
    }
}

} // namespace
} // namespace qm240lx
