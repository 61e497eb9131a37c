// Seeded sessions against the emulator's hostile adapter (--chaos): nothing it
// does may crash the engine, make it claim a success the line does not show,
// or make it write a byte the user did not choose.

#include "CountingComm.h"
#include "HostileSession.h"
#include "SimulatedLine.h"
#include "WireCheck.h"
#include "link/Exchange.h"
#include "link/Opcodes.h"
#include "link/QtEventPump.h"
#include "link/QtSerialComm.h"
#include "sim/Adapter.h"
#include "support/SimProcess.h"

#include <cstdio>
#include <map>

#include <gtest/gtest.h>

namespace qm240lx::test {
namespace {

constexpr int soakCommandsPerSession = 8;
constexpr int ptyCommandsPerSession = 4;
constexpr int reportedDetails = 5;

int fromEnvironment(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

std::uint32_t firstSeed()
{
    return static_cast<std::uint32_t>(fromEnvironment("QM240LX_SOAK_FIRST_SEED", 1));
}

struct Counts
{
    int sessions = 0;
    int crashes = 0;
    int falseSuccesses = 0;
    int unchosenWrites = 0;
    int endlessWaits = 0;
    int unactedSuccesses = 0; // claimed, though the adapter did not act on the command
    std::map<CommandRecord::Claim, int> claims;
    QStringList details;

    void add(std::uint32_t seed, const WireCheck::Findings& findings,
             const std::vector<CommandRecord>& records)
    {
        falseSuccesses += findings.falseSuccesses;
        unchosenWrites += findings.unchosenWrites;
        for (const QString& detail : findings.details)
            note(seed, detail);
        for (const CommandRecord& record : records)
            ++claims[record.claim];
    }

    void note(std::uint32_t seed, const QString& detail)
    {
        if (details.size() < reportedDetails)
            details.append(QStringLiteral("seed %1: %2").arg(seed).arg(detail));
    }

    void print(const char* what) const
    {
        std::printf("%s: sessions %d, crashes %d, false successes %d, unchosen writes %d, "
                    "endless waits %d; successes the adapter did not act on %d\n",
                    what, sessions, crashes, falseSuccesses, unchosenWrites, endlessWaits,
                    unactedSuccesses);
        for (const QString& detail : details)
            std::printf("  %s\n", qPrintable(detail));
        std::fflush(stdout);
    }
};

std::uint8_t fieldOf(CommandKind kind, const sim::Configuration& configuration)
{
    switch (kind) {
    case CommandKind::UploadH:
        return configuration.hByte;
    case CommandKind::UploadD:
        return configuration.dByte;
    default:
        return configuration.pByte;
    }
}

std::uint8_t opcodeOf(CommandKind kind)
{
    switch (kind) {
    case CommandKind::UploadH:
        return opcode::setHByte;
    case CommandKind::UploadD:
        return opcode::setDByte;
    default:
        return opcode::setPByte;
    }
}

// A success the line shows can still rest on an acknowledgement the adapter
// sent late for an earlier command, while it refused this one.
bool actedOn(const CommandRecord& record, const HostileSession& session, const SimulatedLine& line,
             int flashWritesBefore)
{
    if (record.claim == CommandRecord::Claim::None)
        return true;
    switch (record.kind) {
    case CommandKind::Save:
        return line.flashWrites() > flashWritesBefore;
    case CommandKind::UploadH:
    case CommandKind::UploadD:
    case CommandKind::UploadP:
        return session.expectedValue(opcodeOf(record.kind)) ==
               fieldOf(record.kind, line.adapter().configuration());
    default:
        return true;
    }
}

Tick startTick(std::uint32_t seed)
{
    // Every fourth session spans the tick's wrap.
    return seed % 4 == 0 ? 0xFFFFF000u : seed * 7919u;
}

void runInProcess(std::uint32_t seed, Counts& counts)
{
    const HostileSession session(seed, soakCommandsPerSession);
    sim::Faults faults;
    faults.chaos = sim::Chaos::Settings{seed, sim::Chaos::defaultRate};
    SimulatedLine line(sim::Adapter(sim::Configuration{}, faults), startTick(seed));
    Exchange exchange(line, line, line.tick());
    std::vector<CommandRecord> records;
    for (std::size_t index = 0; index < session.commands().size(); ++index) {
        line.idle(session.pauseBefore(index));
        const int flashWrites = line.flashWrites();
        try {
            records.push_back(session.run(session.commands()[index], exchange,
                                          [&] { return line.bytesWritten(); }));
        } catch (const SimulatedLine::EndlessWait&) {
            ++counts.endlessWaits;
            break;
        }
        if (!actedOn(records.back(), session, line, flashWrites)) {
            ++counts.unactedSuccesses;
            counts.note(seed, QStringLiteral("command %1 claimed a success the adapter did "
                                             "not act on")
                                  .arg(index));
        }
    }
    const WireCheck check(line.events(), WireCheck::Order::Exact);
    counts.add(seed,
               check.check(records, [&](std::uint8_t op) { return session.expectedValue(op); }),
               records);
    ++counts.sessions;
}

TEST(HostileAdapter, SoakAgainstTheAdapterInProcess)
{
    const int sessions = fromEnvironment("QM240LX_SOAK_SESSIONS", 300);
    Counts counts;
    for (int session = 0; session < sessions; ++session)
        runInProcess(firstSeed() + static_cast<std::uint32_t>(session), counts);
    counts.print("hostile soak");

    EXPECT_EQ(counts.sessions, sessions);
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

TEST(HostileAdapter, SeededSessionsOverAPseudoTerminal)
{
    const int sessions = fromEnvironment("QM240LX_PTY_SESSIONS", 10);
    Counts counts;
    for (int index = 0; index < sessions; ++index) {
        const std::uint32_t seed = firstSeed() + static_cast<std::uint32_t>(index);
        SCOPED_TRACE(seed);
        SimProcess sim;
        ASSERT_TRUE(sim.start({QStringLiteral("--chaos"), QString::number(seed)}))
            << sim.errorString().toStdString();
        QtSerialComm serial([&](int) { return std::optional(sim.devicePath()); },
                            [](const QString&) { return false; });
        ASSERT_TRUE(serial.setPortOpen(true)) << serial.lastError().message.toStdString();
        CountingComm comm(serial);
        QtEventPump pump;
        Exchange exchange(comm, pump, systemTick);

        const HostileSession session(seed, ptyCommandsPerSession);
        std::vector<CommandRecord> records;
        for (const CommandKind kind : session.commands())
            records.push_back(session.run(kind, exchange, [&] { return comm.bytesWritten(); }));

        // An unplugged adapter ends the emulator cleanly; anything else must run on.
        if (!sim.isRunning() && !sim.exitedCleanly())
            ++counts.crashes;
        sim.waitForReceived(comm.bytesWritten(), 1000);
        std::vector<WireEvent> events;
        for (const sim::Trace::Entry& entry : sim.traceEntries())
            events.push_back({entry.direction == sim::Trace::Direction::Received, entry.byte});
        const WireCheck check(std::move(events), WireCheck::Order::Racy);
        counts.add(seed,
                   check.check(records, [&](std::uint8_t op) { return session.expectedValue(op); }),
                   records);
        ++counts.sessions;
    }
    counts.print("hostile sessions over a pseudo-terminal");

    EXPECT_EQ(counts.crashes, 0);
    EXPECT_EQ(counts.falseSuccesses, 0);
    EXPECT_EQ(counts.unchosenWrites, 0);
}

// --- the checks themselves ---

std::vector<WireEvent> wire(std::initializer_list<std::pair<char, int>> bytes)
{
    std::vector<WireEvent> events;
    for (const auto& [who, byte] : bytes)
        events.push_back({who == 'h', static_cast<std::uint8_t>(byte)});
    return events;
}

TEST(WireCheck, FindsUnbackedSuccessesAndUnchosenBytes)
{
    using Claim = CommandRecord::Claim;
    struct Case
    {
        const char* name;
        std::vector<WireEvent> events;
        std::vector<CommandRecord> records;
        WireCheck::Order order;
        int falseSuccesses;
        int unchosenWrites;
    };
    const ConfigBytes read{0x06, 0x92, 0x01};
    const auto record = [](CommandKind kind, int first, int writes, Claim claim,
                           std::optional<ConfigBytes> bytes = std::nullopt) {
        return CommandRecord{kind, first, writes, claim, bytes};
    };
    const auto exact = WireCheck::Order::Exact;
    const auto racy = WireCheck::Order::Racy;
    const Case cases[] = {
        {"acknowledged probe",
         wire({{'h', 0xAC}, {'a', 0xFA}}),
         {record(CommandKind::Detection, 0, 1, Claim::Acknowledged)},
         exact,
         0,
         0},
        {"ready on a wrong answer",
         wire({{'h', 0xAC}, {'a', 0x00}}),
         {record(CommandKind::Detection, 0, 1, Claim::Acknowledged)},
         exact,
         1,
         0},
        {"ready on a byte sent before the probe",
         wire({{'a', 0xFA}, {'h', 0xAC}}),
         {record(CommandKind::Detection, 0, 1, Claim::Acknowledged)},
         exact,
         1,
         0},
        {"a real line may log that byte late",
         wire({{'a', 0xFA}, {'h', 0xAC}}),
         {record(CommandKind::Detection, 0, 1, Claim::Acknowledged)},
         racy,
         0,
         0},
        {"saved on the next command's acknowledgement",
         wire({{'h', 0xAF}, {'h', 0xAC}, {'a', 0xFA}}),
         {record(CommandKind::Save, 0, 1, Claim::Acknowledged),
          record(CommandKind::Detection, 1, 1, Claim::None)},
         exact,
         1,
         0},
        {"accepted upload and its read-back",
         wire(
             {{'h', 0xAE}, {'h', 0x06}, {'a', 0xFA}, {'h', 0xAD}, {'a', 6}, {'a', 0x92}, {'a', 1}}),
         {record(CommandKind::UploadH, 0, 3, Claim::Acknowledged, read)},
         exact,
         0,
         0},
        {"accepted on the read-back's bytes",
         wire({{'h', 0xAE}, {'h', 0x06}, {'h', 0xAD}, {'a', 0xFA}, {'a', 0x92}, {'a', 1}}),
         {record(CommandKind::UploadH, 0, 3, Claim::Acknowledged)},
         exact,
         1,
         0},
        {"value the selections do not build",
         wire({{'h', 0xAE}, {'h', 0x07}}),
         {record(CommandKind::UploadH, 0, 2, Claim::None)},
         exact,
         0,
         1},
        {"value with a bit outside its fields",
         wire({{'h', 0xAB}, {'h', 0x05}}),
         {record(CommandKind::UploadP, 0, 2, Claim::None)},
         exact,
         0,
         1},
        {"a fourth attempt",
         wire({{'h', 0xAE},
               {'h', 6},
               {'h', 0xAE},
               {'h', 6},
               {'h', 0xAE},
               {'h', 6},
               {'h', 0xAE},
               {'h', 6}}),
         {record(CommandKind::UploadH, 0, 8, Claim::None)},
         exact,
         0,
         2},
        {"probe writing a save",
         wire({{'h', 0xAC}, {'h', 0xAF}}),
         {record(CommandKind::Detection, 0, 2, Claim::None)},
         exact,
         0,
         1},
        {"confirmed by a read-back holding the byte",
         wire({{'h', 0xAB}, {'h', 0x01}, {'h', 0xAD}, {'a', 6}, {'a', 0x92}, {'a', 1}}),
         {record(CommandKind::UploadP, 0, 3, Claim::ConfirmedByReadBack, read)},
         exact,
         0,
         0},
        {"confirmed by a read-back holding another byte",
         wire({{'h', 0xAB}, {'h', 0x02}, {'h', 0xAD}, {'a', 6}, {'a', 0x92}, {'a', 1}}),
         {record(CommandKind::UploadP, 0, 3, Claim::ConfirmedByReadBack, read)},
         exact,
         1,
         1},
        {"read bytes the adapter never sent",
         wire({{'h', 0xAD}, {'a', 6}, {'a', 0x92}}),
         {record(CommandKind::ReadBack, 0, 1, Claim::Read, read)},
         exact,
         1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WireCheck check(c.events, c.order);
        const WireCheck::Findings findings = check.check(c.records, [](std::uint8_t op) {
            return std::optional<std::uint8_t>(op == opcode::setPByte ? 0x01 : 0x06);
        });
        EXPECT_EQ(findings.falseSuccesses, c.falseSuccesses);
        EXPECT_EQ(findings.unchosenWrites, c.unchosenWrites);
    }
}

} // namespace
} // namespace qm240lx::test
