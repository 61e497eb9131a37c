// Seeded sessions against the emulator's hostile adapter (--chaos): nothing it
// does may crash the engine, make it claim a success the line does not show,
// or make it write a byte the user did not choose.

#include "HostileSession.h"
#include "link/Exchange.h"
#include "link/Opcodes.h"
#include "link/QtEventPump.h"
#include "link/QtSerialComm.h"
#include "sim/Adapter.h"
#include "support/SimProcess.h"
#include "support/SimulatedLine.h"
#include "support/WireCheck.h"

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

    void add(std::uint32_t seed, const std::vector<WireEvent>& events, WireCheck::Order order,
             const HostileSession& session, const std::vector<CommandRecord>& records)
    {
        const WireCheck::Findings findings =
            WireCheck(events, order).check(records, [&](std::uint8_t op) {
                return session.expectedValue(op);
            });
        falseSuccesses += findings.falseSuccesses;
        unchosenWrites += findings.unchosenWrites;
        for (const QString& detail : findings.details)
            note(seed, detail);
        for (const CommandRecord& record : records)
            ++claims[record.claim];
        ++sessions;
    }

    void note(std::uint32_t seed, const QString& detail)
    {
        if (details.size() < reportedDetails)
            details.append(QStringLiteral("seed %1: %2").arg(seed).arg(detail));
    }

    // scripts/soak reads the first line.
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

// A success the line shows can still rest on an acknowledgement the adapter
// sent late for an earlier command, while it refused this one.
bool actedOn(const CommandRecord& record, const HostileSession& session, const SimulatedLine& line,
             int flashWritesBefore)
{
    if (record.claim == CommandRecord::Claim::None)
        return true;
    if (record.kind == CommandKind::Save)
        return line.flashWrites() > flashWritesBefore;
    if (!isUpload(record.kind))
        return true;
    const sim::Configuration& now = line.adapter().configuration();
    return session.expectedValue(opcodeOf(record.kind)) ==
           fieldOf(record.kind, {now.hByte, now.dByte, now.pByte});
}

void runInProcess(std::uint32_t seed, Counts& counts)
{
    const HostileSession session(seed, soakCommandsPerSession);
    sim::Faults faults;
    faults.chaos = sim::Chaos::Settings{seed, sim::Chaos::defaultRate};
    // Every fourth session spans the tick's wrap.
    SimulatedLine line(sim::Adapter(sim::Configuration{}, faults),
                       seed % 4 == 0 ? 0xFFFFF000u : seed * 7919u);
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
    counts.add(seed, line.events(), WireCheck::Order::Exact, session, records);
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

// The real serial control, counting the bytes it writes so that each
// command's bytes can be found in the emulator's trace.
struct CountingSerial : QtSerialComm
{
    using QtSerialComm::QtSerialComm;
    bool output(const QByteArray& bytes) override
    {
        const bool written = QtSerialComm::output(bytes);
        bytesWritten += written ? static_cast<int>(bytes.size()) : 0;
        return written;
    }
    int bytesWritten = 0;
};

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
        CountingSerial comm([&](int) { return std::optional(sim.devicePath()); },
                            [](const QString&) { return false; });
        ASSERT_TRUE(comm.setPortOpen(true)) << comm.lastError().message.toStdString();
        QtEventPump pump;
        Exchange exchange(comm, pump, systemTick);

        const HostileSession session(seed, ptyCommandsPerSession);
        std::vector<CommandRecord> records;
        for (const CommandKind kind : session.commands())
            records.push_back(session.run(kind, exchange, [&] { return comm.bytesWritten; }));

        // An unplugged adapter ends the emulator cleanly; anything else must run on.
        counts.crashes += !sim.isRunning() && !sim.exitedCleanly();
        sim.waitForReceived(comm.bytesWritten, 1000);
        std::vector<WireEvent> events;
        for (const sim::Trace::Entry& entry : sim.traceEntries())
            events.push_back({entry.direction == sim::Trace::Direction::Received, entry.byte});
        counts.add(seed, events, WireCheck::Order::Racy, session, records);
    }
    counts.print("hostile sessions over a pseudo-terminal");

    EXPECT_EQ(counts.crashes, 0);
    EXPECT_EQ(counts.falseSuccesses, 0);
    EXPECT_EQ(counts.unchosenWrites, 0);
}

// --- the checker itself ---

// Host bytes are written ">AC", the adapter's "<FA".
std::vector<WireEvent> wire(const char* text)
{
    std::vector<WireEvent> events;
    for (const QString& word : QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts))
        events.push_back(
            {word.front() == u'>', static_cast<std::uint8_t>(word.mid(1).toUInt(nullptr, 16))});
    return events;
}

TEST(WireCheck, FindsUnbackedSuccessesAndUnchosenBytes)
{
    using enum CommandKind;
    using enum CommandRecord::Claim;
    const ConfigBytes read{0x06, 0x92, 0x01};
    const struct
    {
        const char* wire;
        int falseSuccesses;
        int unchosenWrites;
        std::vector<CommandRecord> records;
        WireCheck::Order order = WireCheck::Order::Exact;
    } cases[] = {
        {">AC <FA", 0, 0, {{Detection, 0, 1, Acknowledged}}},
        // ready on a wrong answer, or on a byte sent before the probe
        {">AC <00", 1, 0, {{Detection, 0, 1, Acknowledged}}},
        {"<FA >AC", 1, 0, {{Detection, 0, 1, Acknowledged}}},
        // a real line may log that byte late
        {"<FA >AC", 0, 0, {{Detection, 0, 1, Acknowledged}}, WireCheck::Order::Racy},
        // saved on the next command's acknowledgement
        {">AF >AC <FA", 1, 0, {{Save, 0, 1, Acknowledged}, {Detection, 1, 1}}},
        {">AE >06 <FA >AD <06 <92 <01", 0, 0, {{UploadH, 0, 3, Acknowledged, read}}},
        // accepted on the read-back's bytes
        {">AE >06 >AD <FA <92 <01", 1, 0, {{UploadH, 0, 3, Acknowledged}}},
        // a value the selections do not build, one with a bit outside its fields
        {">AE >07", 0, 1, {{UploadH, 0, 2}}},
        {">AB >05", 0, 1, {{UploadP, 0, 2}}},
        // a fourth attempt
        {">AE >06 >AE >06 >AE >06 >AE >06", 0, 2, {{UploadH, 0, 8}}},
        // a probe writing a save
        {">AC >AF", 0, 1, {{Detection, 0, 2}}},
        // confirmed by a read-back holding the byte, or another byte
        {">AB >01 >AD <06 <92 <01", 0, 0, {{UploadP, 0, 3, ConfirmedByReadBack, read}}},
        {">AB >02 >AD <06 <92 <01", 1, 1, {{UploadP, 0, 3, ConfirmedByReadBack, read}}},
        // read bytes the adapter never sent
        {">AD <06 <92", 1, 0, {{ReadBack, 0, 1, Read, read}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        const WireCheck::Findings findings =
            WireCheck(wire(c.wire), c.order).check(c.records, [](std::uint8_t op) {
                return std::optional<std::uint8_t>(op == opcode::setPByte ? 0x01 : 0x06);
            });
        EXPECT_EQ(findings.falseSuccesses, c.falseSuccesses);
        EXPECT_EQ(findings.unchosenWrites, c.unchosenWrites);
    }
}

} // namespace
} // namespace qm240lx::test
