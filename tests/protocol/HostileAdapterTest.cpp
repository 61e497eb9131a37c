// Seeded sessions against the emulator's hostile adapter (--chaos, and stray
// bytes after some answers in every other session): nothing it does may
// crash the engine, make it claim a success the line does not show, or make
// it write a byte the user did not choose, counted on the line and on the
// adapter. At memory speed every reply arrives whole; at line speed (9600
// baud) one byte per character time.

#include "protocol/ReadBack.h"
#include "settings/FieldChanges.h"
#include "support/AdapterEnd.h"
#include "support/Choices.h"
#include "support/RecordedRun.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include <gtest/gtest.h>

namespace qm240lx::test {
namespace {

constexpr int commandsPerSession = 8;
constexpr Tick longestPauseMs = 5000;

constexpr int lineSpeed = 9600;

struct Counts
{
    int falseSuccesses = 0;
    int unchosenWrites = 0;
    int unchosenOnAdapter = 0; // value bytes the adapter received that nobody chose
    int endlessWaits = 0;
    int unactedSuccesses = 0; // claimed, though the adapter did not act on the command
    int commands = 0;
    double commandMs = 0; // on the line's clock
    std::map<CommandRecord::Claim, int> claims;
    QStringList details;

    // scripts/soak reads the first line; a crash ends the process before it.
    void print(const char* prefix, int sessions) const
    {
        std::printf("%s: sessions %d, crashes 0, false successes %d, unchosen writes %d, "
                    "endless waits %d; successes the adapter did not act on %d; "
                    "commands %d, command time %.0f ms\n",
                    prefix, sessions, falseSuccesses, unchosenWrites + unchosenOnAdapter,
                    endlessWaits, unactedSuccesses, commands, commandMs);
        for (const QString& detail : details.mid(0, 5))
            std::printf("  %s\n", qPrintable(detail));
        std::fflush(stdout);
    }
};

// A success the line shows can still rest on an acknowledgement the adapter
// sent late for an earlier command, while it refused this one.
bool actedOn(const CommandRecord& record, const AdapterEnd& adapter, int flashWritesBefore)
{
    if (record.claim == CommandRecord::Claim::None)
        return true;
    if (record.kind == CommandKind::Save)
        return adapter.flashWrites() > flashWritesBefore;
    const sim::Configuration& now = adapter.adapter().configuration();
    return !isUpload(record.kind) ||
           record.chosenValue == fieldOf(record.kind, {now.hByte, now.dByte, now.pByte});
}

// What `set` does for one setting drawn from the seed: read the
// configuration, then send the setting's byte with that field changed.
void runSet(std::mt19937& random, Choices& choices, Exchange& exchange, VirtualLine& line,
            std::vector<CommandRecord>& records)
{
    records.push_back(runRecorded(CommandKind::ReadBack, exchange, line, {}));
    const std::optional<ConfigBytes> read = records.back().readBytes;
    const Setting& setting = settingTable[random() % settingCount];
    const auto element = static_cast<int>(random() % setting.values.size());
    if (!read)
        return;
    choices.choose(setting.group, element);
    const auto value =
        static_cast<std::uint8_t>((withFieldsOnly(*read)[setting.byte] & ~setting.bits) |
                                  choices.codeOf(setting.group, element));
    const CommandKind upload = setting.byte == ConfigByte::H   ? CommandKind::UploadH
                               : setting.byte == ConfigByte::D ? CommandKind::UploadD
                                                               : CommandKind::UploadP;
    records.push_back(runRecorded(upload, exchange, line, [value] {
        return BuiltByte{value, std::nullopt};
    }));
    records.back().chosenValue = value;
}

// Detection first, then read-backs, sets, saves and detections in an order
// drawn from the seed, with pauses between them drawn too.
void runSession(std::uint32_t seed, bool paced, Counts& counts)
{
    std::mt19937 random(seed);
    AdapterEnd adapter(sim::Adapter(sim::Configuration{}, hostileFaults(seed)),
                       paced ? std::optional(lineSpeed) : std::nullopt);
    const auto note = [&](const QString& detail) {
        counts.details << QStringLiteral("seed %1: %2").arg(seed).arg(detail);
    };
    Choices choices;
    adapter.watchValues([&](std::uint8_t opcode, std::uint8_t value, const sim::Configuration& held,
                            const std::vector<sim::Configuration>& reported) {
        if (choices.allows(opcode, value, held, reported))
            return;
        ++counts.unchosenOnAdapter;
        note(QStringLiteral("the adapter holding %1 got %2 after opcode %3")
                 .arg(QString::fromLatin1(held.toBytes().toHex(' ')))
                 .arg(value, 2, 16, QLatin1Char('0'))
                 .arg(opcode, 2, 16, QLatin1Char('0')));
    });
    // Every fourth session spans the tick's wrap.
    VirtualLine line(seed % 4 == 0 ? 0xFFFFF000u : seed * 7919u, &adapter);
    line.openNow();
    Exchange exchange(line, QStringLiteral("COM1"), line, line.tick());
    std::vector<CommandRecord> records;
    for (int index = 0; index < commandsPerSession; ++index) {
        line.idle(random() % (longestPauseMs + 1));
        const Tick begun = line.now();
        const int flashWrites = adapter.flashWrites();
        const auto kind = index == 0 ? CommandKind::Detection : CommandKind(random() % 6);
        try {
            if (isUpload(kind))
                runSet(random, choices, exchange, line, records);
            else
                records.push_back(runRecorded(kind, exchange, line, {}));
        } catch (const VirtualLine::EndlessWait&) {
            ++counts.endlessWaits;
            break;
        }
        ++counts.commands;
        counts.commandMs += elapsedMs(line.now(), begun);
        if (!actedOn(records.back(), adapter, flashWrites)) {
            ++counts.unactedSuccesses;
            note(QStringLiteral("command %1 claimed a success the adapter did not act on")
                     .arg(index));
        }
    }
    const WireFindings findings = checkWire(line.events(), records);
    counts.falseSuccesses += findings.falseSuccesses;
    counts.unchosenWrites += findings.unchosenWrites;
    std::ranges::for_each(findings.details, note);
    for (const CommandRecord& record : records)
        ++counts.claims[record.claim];
}

void soak(bool paced, const char* prefix)
{
    const auto first = static_cast<std::uint32_t>(soakSetting("QM240LX_SOAK_FIRST_SEED", 1));
    const int sessions = soakSetting("QM240LX_SOAK_SESSIONS", paced ? 10000 : 300);
    Counts counts;
    for (int session = 0; session < sessions; ++session)
        runSession(first + static_cast<std::uint32_t>(session), paced, counts);
    counts.print(prefix, sessions);

    EXPECT_EQ(counts.falseSuccesses, 0);
    EXPECT_EQ(counts.unchosenWrites, 0);
    EXPECT_EQ(counts.unchosenOnAdapter, 0);
    EXPECT_EQ(counts.endlessWaits, 0);
    if (sessions >= 100) {
        // The sessions reached every kind of outcome the checks judge.
        for (const auto claim :
             {CommandRecord::Claim::None, CommandRecord::Claim::Acknowledged,
              CommandRecord::Claim::ConfirmedByReadBack, CommandRecord::Claim::Read})
            EXPECT_GT(counts.claims[claim], 0) << static_cast<int>(claim);
    }
}

TEST(HostileAdapter, SoakAgainstTheAdapterInProcess)
{
    soak(false, "hostile soak");
}

TEST(HostileAdapter, SoakAtLineSpeedWithStrayBytes)
{
    soak(true, "hostile soak at 9600 baud");
}

} // namespace
} // namespace qm240lx::test
