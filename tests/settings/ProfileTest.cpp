#include "settings/Profile.h"

#include <variant>

#include <gtest/gtest.h>

// The changes name only the fields they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qm240lx {
namespace {

// What `qm240lx read --json` printed for an emulator at 0x03 0x92 0x00.
const QByteArray readOutput = R"({
    "baud": 9600, "d_byte": 146, "device": "/dev/pts/7", "discovery_time_s": 3,
    "h_byte": 3, "ignore_cts": false, "ignore_dsr": false, "mode": "primary-secondary",
    "p_byte": 0, "port": 33, "protocol": "ircomm", "slots": 1
})";

TEST(Profile, TakesTheSettingsItNamesAndNothingElse)
{
    struct Case
    {
        QByteArray text;
        FieldChanges settings;
    };
    const Case cases[] = {
        {readOutput,
         {9600, false, false, DiscoveryMode::PrimarySecondary, 1, 3, PrimaryProtocol::IrComm}},
        {R"({"baud": 57600})", {.baudRate = 57600}},
        {R"({"port": null, "h_byte": 255, "protocol": "OBEX", "slots": 6.0, "mode": "Secondary-Only"})",
         {.mode = DiscoveryMode::SecondaryOnly,
          .discoverySlots = 6,
          .protocol = PrimaryProtocol::Obex}},
        {"\xEF\xBB\xBF{\"ignore_dsr\": true}", {.ignoreDsr = true}},
        {QByteArray(Profile::largestBytes - 14, ' ') + R"({"baud": 9600})", {.baudRate = 9600}},
    };
    for (const Case& test : cases) {
        const auto parsed = Profile::parse(test.text);
        ASSERT_TRUE(std::holds_alternative<FieldChanges>(parsed))
            << test.text.toStdString() << ": " << std::get<QString>(parsed).toStdString();
        EXPECT_EQ(std::get<FieldChanges>(parsed), test.settings) << test.text.toStdString();
    }
}

TEST(Profile, RefusesWithWhereAndWhatWasExpected)
{
    struct Case
    {
        QByteArray text;
        const char* message;
    };
    const Case cases[] = {
        {"baud=9600", "offset 1: illegal value; expected one JSON object"},
        {R"([{"baud": 9600}])", "the top level is an array; expected one JSON object"},
        {R"({"baudrate": 9600})", "key \"baudrate\": unknown; expected baud, ignore_cts,"},
        {R"({"Baud": 9600})", "key \"Baud\": unknown"},
        {R"({"baud": "9600"})", "key \"baud\": \"9600\"; expected 1200, 2400,"},
        {R"({"baud": 9601})", "key \"baud\": 9601; expected"},
        {R"({"baud": 9600.5})", "key \"baud\": 9600.5; expected"},
        {R"({"baud": 1e300})", "key \"baud\": 1e+300; expected"},
        {R"({"ignore_cts": "yes"})", "key \"ignore_cts\": \"yes\"; expected true or false"},
        {R"({"mode": "primary"})", "key \"mode\": \"primary\"; expected \"primary-secondary\""},
        {R"({"slots": 2})", "key \"slots\": 2; expected 1 or 6"},
        {R"({"discovery_time_s": 0})", "key \"discovery_time_s\": 0; expected 1, 2, 3, 4 or 5"},
        {R"({"discovery_time_s": 6})", "key \"discovery_time_s\": 6; expected"},
        {R"({"protocol": ["obex"]})", "key \"protocol\": [\"obex\"]; expected \"ircomm\""},
        {"{}", "no setting; expected at least one of baud, ignore_cts"},
        {R"({"port": 33, "device": "/dev/ttyUSB0", "h_byte": 6})", "no setting; expected"},
        {"{\"mode\": \"secondary\xFF-only\"}", "byte 19: not UTF-8; expected UTF-8 text"},
        {"{\"a\": \"\xC3\"}", "byte 7: not UTF-8"},
        {"{\"\\n\": 1}", "key \"\\n\": unknown"},
        {R"({"baud": 9600, "baud": 57600})",
         "key \"baud\": given again at byte 15; expected each key once"},
        {R"({"b\u0061ud": 9600, "x": {"baud": 1}, "s": "\"baud\":", "baud": 9600})",
         "key \"baud\": given again at byte 56;"},
        {R"({"port": [1, {"port": 2}], "slots": 1, "port": 3})",
         "key \"port\": given again at byte 39;"},
        {"\xEF\xBB\xBF {\"mode\":\"secondary-only\",\n\t\"mode\" :1}",
         "key \"mode\": given again at byte 31;"},
        {QByteArray(Profile::largestBytes - 13, ' ') + R"({"baud": 9600})",
         "more than 65536 bytes; expected a profile of at most 64 KiB"},
    };
    for (const Case& test : cases) {
        const auto parsed = Profile::parse(test.text);
        ASSERT_TRUE(std::holds_alternative<QString>(parsed)) << test.text.left(80).toStdString();
        const QString message = std::get<QString>(parsed);
        EXPECT_TRUE(message.contains(QString::fromUtf8(test.message)))
            << test.text.left(80).toStdString() << " -> " << message.toStdString();
        EXPECT_FALSE(message.contains(u'\n')) << message.toStdString();
    }
}

TEST(Profile, NamesEachSettingTheAdapterDoesNotHold)
{
    const ConfigFields held = ConfigFields::decode({0x03, 0x92, 0x00});
    const auto differences = [&](const QByteArray& text) {
        return Profile::differences(std::get<FieldChanges>(Profile::parse(text)), held);
    };
    EXPECT_EQ(differences(readOutput), QStringList());
    EXPECT_EQ(differences(R"({"baud": 57600, "slots": 1, "protocol": "obex"})"),
              QStringList({"baud 9600, profile 57600", "protocol ircomm, profile obex"}));
    EXPECT_EQ(differences(R"({"ignore_cts": true, "mode": "secondary-only"})"),
              QStringList({"ignore_cts false, profile true",
                           "mode primary-secondary, profile secondary-only"}));
}

} // namespace
} // namespace qm240lx
