// Seeded sessions of the window's procedures against the emulator's hostile
// adapter: whatever the adapter does, the window claims no success the line
// does not show and writes no byte the user did not choose. At line speed
// the adapter's bytes come one per character time, with stray bytes after
// some answers besides; the adapter itself counts the value bytes nobody
// chose.
#include "RecordingErrorBox.h"
#include "app/Frm_Dorvex.h"
#include "support/AdapterEnd.h"
#include "support/Choices.h"
#include "support/RecordedRun.h"
#include "support/VirtualLine.h"
#include "ui_Frm_Dorvex.h"

#include <cstdio>
#include <random>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::CommandKind;
using Claim = test::CommandRecord::Claim;

struct Command
{
    const char* button;
    CommandKind kind;
    QString success; // the text that claims the adapter acknowledged
};

struct Tally
{
    int sessions = 0;
    int falseSuccesses = 0;
    int unchosenWrites = 0;
};

// Judges what the command wrote since `before` against the success the result
// box claims; `chosen` is the value byte the selections built.
void judge(const test::VirtualLine& line, int before, const Command& command,
           std::optional<std::uint8_t> chosen, const QString& shown, Tally& tally)
{
    const Claim claim = shown == command.success                ? Claim::Acknowledged
                        : shown.startsWith("Success to change") ? Claim::ConfirmedByReadBack
                                                                : Claim::None;
    const int writes = line.bytesWritten() - before;
    std::vector<test::CommandRecord> records{{command.kind, before, writes, claim}};
    records.front().chosenValue = chosen;
    // A detection that found the adapter reads the configuration back.
    if (command.kind == CommandKind::Detection && writes > 1) {
        records.front().writes = 1;
        records.push_back({CommandKind::ReadBack, before + 1, writes - 1});
    }
    const test::WireFindings findings = checkWire(line.events(), records);
    tally.falseSuccesses += findings.falseSuccesses;
    tally.unchosenWrites += findings.unchosenWrites;
}

constexpr int lineSpeed = 9600;

void runSession(std::uint32_t seed, bool paced, Tally& tally)
{
    test::AdapterEnd adapter(sim::Adapter(sim::Configuration{}, test::hostileFaults(seed)),
                             paced ? std::optional(lineSpeed) : std::nullopt);
    test::Choices choices;
    adapter.watchValues([&](std::uint8_t opcode, std::uint8_t value, const sim::Configuration& held,
                            const std::vector<sim::Configuration>& reported) {
        tally.unchosenWrites += !choices.allows(opcode, value, held, reported);
    });
    test::VirtualLine line(seed * 7919u, &adapter);
    test::RecordingErrorBox errorBox;
    Frm_Dorvex window(WindowPlatform{line, line, line.tick(), errorBox});
    Ui::Frm_Dorvex& form = window.form();
    const Command detect{nullptr, CommandKind::Detection, "Velorin QM240LX READY."};
    const Command commands[] = {
        {"CmdSend", CommandKind::UploadH, "H-Byte is successfully set"},
        {"Send_D", CommandKind::UploadD, "D-Byte is Successfully Set"},
        {"Send_P", CommandKind::UploadP, "P-Byte is Successfully Set"},
        {"Cmd_SaveConfig", CommandKind::Save, "Configuration Data is updated in Flash"},
    };
    std::mt19937 random(seed);
    const auto pick = [&](int count) { return static_cast<int>(random() % count); };

    window.Form_Load();
    line.run();
    judge(line, 0, detect, std::nullopt, form.Txt_Result->toPlainText(), tally);
    for (int step = 0; step < 8 && line.isOpen(); ++step) {
        const Group group = allGroups[pick(allGroups.size())];
        const int element = pick(elementCount(group));
        QRadioButton* option = window.option(group, element);
        if (!option->isHidden() && option->isEnabled()) { // what the user can reach
            option->click();
            choices.choose(group, element);
        }
        line.idle(pick(4000));
        const int before = line.bytesWritten();
        if (!form.CmdSend->isEnabled()) {
            Q_EMIT form.Cmb_Port->activated(0);
            line.run();
            judge(line, before, detect, std::nullopt, form.Txt_Result->toPlainText(), tally);
            continue;
        }
        const Command& command = commands[pick(4)];
        const int time = window.group(Group::OPT_DTime)->checkedId();
        const BuiltByte built = test::buildFor(command.kind, window.recordedValues(),
                                               time < 0 ? std::nullopt : std::optional(time));
        window.findChild<QPushButton*>(command.button)->click();
        line.run();
        judge(line, before, command, built.byte, form.Txt_Result->toPlainText(), tally);
    }
    ++tally.sessions;
}

void soak(bool paced, const char* prefix)
{
    const auto first = static_cast<std::uint32_t>(test::soakSetting("QM240LX_SOAK_FIRST_SEED", 1));
    const int sessions = test::soakSetting("QM240LX_SOAK_SESSIONS", 40);
    Tally tally;
    for (std::uint32_t seed = first; seed < first + sessions; ++seed)
        runSession(seed, paced, tally);
    std::printf("%s: sessions %d, crashes 0, false successes %d, unchosen writes %d\n", prefix,
                tally.sessions, tally.falseSuccesses, tally.unchosenWrites);
    EXPECT_EQ(tally.sessions, sessions);
    EXPECT_EQ(tally.falseSuccesses, 0);
    EXPECT_EQ(tally.unchosenWrites, 0);
}

TEST(HostileWindow, ClaimsNothingTheLineDoesNotShow)
{
    soak(false, "window soak");
}

TEST(HostileWindow, AtLineSpeedWritesNothingUnchosen)
{
    soak(true, "window soak at 9600 baud");
}

} // namespace
} // namespace qm240lx
