// Seeded sessions against the emulator's hostile adapter (--chaos): nothing it
// does may crash the engine, make it claim a success the line does not show,
// or make it write a byte the user did not choose.

#include "support/AdapterEnd.h"
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

struct Counts
{
    int falseSuccesses = 0;
    int unchosenWrites = 0;
    int endlessWaits = 0;
    int unactedSuccesses = 0; // claimed, though the adapter did not act on the command
    int commands = 0;
    double commandMs = 0; // on the line's clock
    std::map<CommandRecord::Claim, int> claims;
    QStringList details;

    // scripts/soak reads the first line; a crash ends the process before it.
    void print(int sessions) const
    {
        std::printf("hostile soak: sessions %d, crashes 0, false successes %d, unchosen writes %d, "
                    "endless waits %d; successes the adapter did not act on %d; "
                    "commands %d, command time %.0f ms\n",
                    sessions, falseSuccesses, unchosenWrites, endlessWaits, unactedSuccesses,
                    commands, commandMs);
        for (const QString& detail : details.mid(0, 5))
            std::printf("  %s\n", qPrintable(detail));
        std::fflush(stdout);
    }
};

// The user's selections, drawn from the seed; now and then a group is left
// unselected.
struct Selections
{
    explicit Selections(std::mt19937& random)
    {
        for (const Group group : allGroups) {
            if (random() % 16 == 0)
                continue;
            const auto element = static_cast<int>(random() % elementCount(group));
            if (group == Group::OPT_DTime)
                discoveryTime = element;
            else
                recorded.select(group, element);
        }
    }
    BuiltByte build(CommandKind kind) const { return buildFor(kind, recorded, discoveryTime); }

    RecordedValues recorded;
    std::optional<int> discoveryTime;
};

// A success the line shows can still rest on an acknowledgement the adapter
// sent late for an earlier command, while it refused this one.
bool actedOn(const CommandRecord& record, const Selections& selections, const AdapterEnd& adapter,
             int flashWritesBefore)
{
    if (record.claim == CommandRecord::Claim::None)
        return true;
    if (record.kind == CommandKind::Save)
        return adapter.flashWrites() > flashWritesBefore;
    const sim::Configuration& now = adapter.adapter().configuration();
    return !isUpload(record.kind) || selections.build(record.kind).byte ==
                                         fieldOf(record.kind, {now.hByte, now.dByte, now.pByte});
}

// Detection first, then read-backs, uploads, saves and detections in an order
// drawn from the seed, with pauses between them drawn too.
void runSession(std::uint32_t seed, Counts& counts)
{
    std::mt19937 random(seed);
    const Selections selections(random);
    sim::Faults faults;
    faults.chaos = sim::Chaos::Settings{seed, sim::Chaos::defaultRate};
    // Every fourth session spans the tick's wrap.
    AdapterEnd adapter(sim::Adapter(sim::Configuration{}, faults));
    VirtualLine line(seed % 4 == 0 ? 0xFFFFF000u : seed * 7919u, &adapter);
    line.openNow();
    Exchange exchange(line, QStringLiteral("COM1"), line, line.tick());
    const auto note = [&](const QString& detail) {
        counts.details << QStringLiteral("seed %1: %2").arg(seed).arg(detail);
    };
    std::vector<CommandRecord> records;
    for (int index = 0; index < commandsPerSession; ++index) {
        line.idle(random() % (longestPauseMs + 1));
        const int flashWrites = adapter.flashWrites();
        const Tick begun = line.now();
        const auto kind = index == 0 ? CommandKind::Detection : CommandKind(random() % 6);
        try {
            records.push_back(
                runRecorded(kind, exchange, line, [&] { return selections.build(kind); }));
        } catch (const VirtualLine::EndlessWait&) {
            ++counts.endlessWaits;
            break;
        }
        ++counts.commands;
        counts.commandMs += elapsedMs(line.now(), begun);
        if (!actedOn(records.back(), selections, adapter, flashWrites)) {
            ++counts.unactedSuccesses;
            note(QStringLiteral("command %1 claimed a success the adapter did not act on")
                     .arg(index));
        }
    }
    const WireFindings findings = checkWire(
        line.events(), records, [&](CommandKind kind, int) { return selections.build(kind).byte; });
    counts.falseSuccesses += findings.falseSuccesses;
    counts.unchosenWrites += findings.unchosenWrites;
    std::ranges::for_each(findings.details, note);
    for (const CommandRecord& record : records)
        ++counts.claims[record.claim];
}

TEST(HostileAdapter, SoakAgainstTheAdapterInProcess)
{
    const auto first = static_cast<std::uint32_t>(soakSetting("QM240LX_SOAK_FIRST_SEED", 1));
    const int sessions = soakSetting("QM240LX_SOAK_SESSIONS", 300);
    Counts counts;
    for (int session = 0; session < sessions; ++session)
        runSession(first + static_cast<std::uint32_t>(session), counts);
    counts.print(sessions);

    EXPECT_EQ(counts.falseSuccesses, 0);
    EXPECT_EQ(counts.unchosenWrites, 0);
    EXPECT_EQ(counts.endlessWaits, 0);
    if (sessions >= 100) {
        // The sessions reached every kind of outcome the checks judge.
        for (const auto claim :
             {CommandRecord::Claim::None, CommandRecord::Claim::Acknowledged,
              CommandRecord::Claim::ConfirmedByReadBack, CommandRecord::Claim::Read})
            EXPECT_GT(counts.claims[claim], 0) << static_cast<int>(claim);
    }
}

} // namespace
} // namespace qm240lx::test
