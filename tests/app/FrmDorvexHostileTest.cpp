// Seeded sessions of the window's procedures against the emulator's hostile
// adapter: whatever the adapter does, the window claims no success the line
// does not show and writes no byte the user did not choose.
#include "app/Frm_Dorvex.h"
#include "protocol/Opcodes.h"
#include "settings/ConfigBytes.h"
#include "support/RecordingErrorBox.h"
#include "support/SimulatedLine.h"
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

using test::SimulatedLine;
using test::WireEvent;

struct Command
{
    QPushButton* Ui::Frm_Dorvex::*button;
    std::uint8_t opcode;
    std::size_t field;   // of the value byte in a read-back
    std::uint8_t fields; // the bits a field covers
    QString success;     // the text that claims the adapter acknowledged
};

struct Tally
{
    int sessions = 0;
    int falseSuccesses = 0;
    int unchosenWrites = 0;
};

int environmentNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// The adapter's bytes after the host's byte at `position`, up to its next write.
QByteArray answerAfter(const std::vector<WireEvent>& events, std::size_t position)
{
    QByteArray answer;
    for (std::size_t i = position + 1; i < events.size() && !events[i].fromHost; ++i)
        answer.append(static_cast<char>(events[i].byte));
    return answer;
}

// Checks one command's slice of the line against what the window showed.
void judge(const std::vector<WireEvent>& events, std::size_t from, const Command& command,
           std::optional<std::uint8_t> chosen, const QString& shown, Tally& tally)
{
    std::optional<std::size_t> lastOpcode, readBack;
    bool expectValue = false;
    for (std::size_t i = from; i < events.size(); ++i) {
        if (!events[i].fromHost)
            continue;
        const std::uint8_t byte = events[i].byte;
        if (expectValue)
            tally.unchosenWrites += byte != chosen;
        else if (byte == command.opcode && !readBack)
            lastOpcode = i;
        else if (byte == opcode::readConfiguration)
            readBack = i;
        else
            ++tally.unchosenWrites;
        expectValue = !expectValue && byte == command.opcode && command.opcode != opcode::probe &&
                      command.opcode != opcode::saveToFlash && !readBack;
    }
    const bool acknowledged =
        lastOpcode && answerAfter(events, *lastOpcode + (chosen ? 1 : 0)).startsWith('\xFA');
    const QByteArray readBackBytes = readBack ? answerAfter(events, *readBack) : QByteArray();
    const bool confirmed =
        chosen && readBackBytes.size() >= 3 &&
        (static_cast<std::uint8_t>(readBackBytes[command.field]) & command.fields) == *chosen;
    if ((shown == command.success && !acknowledged) ||
        (shown.startsWith("Success to change") && !confirmed))
        ++tally.falseSuccesses;
}

void runSession(std::uint32_t seed, Tally& tally)
{
    sim::Faults faults;
    faults.chaos = sim::Chaos::Settings{seed, sim::Chaos::defaultRate};
    SimulatedLine line(sim::Adapter(sim::Configuration{}, faults), seed * 7919u);
    test::RecordingErrorBox errorBox;
    Frm_Dorvex window(WindowPlatform{line, line, line.tick(), errorBox});
    Ui::Frm_Dorvex& form = window.form();
    const Command detect{nullptr, opcode::probe, 0, 0, "Velorin QM240LX READY."};
    const Command commands[] = {
        {&Ui::Frm_Dorvex::CmdSend, opcode::setHByte, 0, hByteFields, "H-Byte is successfully set"},
        {&Ui::Frm_Dorvex::Send_D, opcode::setDByte, 1, dByteFields, "D-Byte is Successfully Set"},
        {&Ui::Frm_Dorvex::Send_P, opcode::setPByte, 2, pByteFields, "P-Byte is Successfully Set"},
        {nullptr, opcode::saveToFlash, 0, 0, "Configuration Data is updated in Flash"},
    };
    std::mt19937 random(seed);
    const auto pick = [&](int count) { return static_cast<int>(random() % count); };

    window.Form_Load();
    judge(line.events(), 0, detect, std::nullopt, form.Txt_Result->toPlainText(), tally);
    for (int step = 0; step < 8 && line.portOpen(); ++step) {
        const Group group = allGroups[pick(allGroups.size())];
        QRadioButton* option = window.option(group, pick(elementCount(group)));
        if (!option->isHidden()) // the user cannot reach the hidden ones
            option->click();
        line.idle(pick(4000));
        const std::size_t from = line.events().size();
        if (!form.CmdSend->isEnabled()) {
            Q_EMIT form.Cmb_Port->activated(0);
            judge(line.events(), from, detect, std::nullopt, form.Txt_Result->toPlainText(), tally);
            continue;
        }
        const Command& command = commands[pick(4)];
        const RecordedValues& recorded = window.recordedValues();
        const std::optional<int> time = window.group(Group::OPT_DTime)->checkedId();
        const BuiltByte built = command.opcode == opcode::setHByte   ? buildHByte(recorded)
                                : command.opcode == opcode::setDByte ? buildDByte(recorded, time)
                                : command.opcode == opcode::setPByte ? buildPByte(recorded)
                                                                     : BuiltByte{};
        (command.button ? form.*command.button : form.Cmd_SaveConfig)->click();
        judge(line.events(), from, command, built.byte, form.Txt_Result->toPlainText(), tally);
    }
    ++tally.sessions;
}

TEST(HostileWindow, ClaimsNothingTheLineDoesNotShow)
{
    const auto first = static_cast<std::uint32_t>(environmentNumber("QM240LX_SOAK_FIRST_SEED", 1));
    const int sessions = environmentNumber("QM240LX_SOAK_SESSIONS", 40);
    Tally tally;
    for (std::uint32_t seed = first; seed < first + sessions; ++seed)
        runSession(seed, tally);
    std::printf("window soak: sessions %d, crashes 0, false successes %d, unchosen writes %d\n",
                tally.sessions, tally.falseSuccesses, tally.unchosenWrites);
    EXPECT_EQ(tally.sessions, sessions);
    EXPECT_EQ(tally.falseSuccesses, 0);
    EXPECT_EQ(tally.unchosenWrites, 0);
}

} // namespace
} // namespace qm240lx
