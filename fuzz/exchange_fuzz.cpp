// Feeds arbitrary adapter behaviour (reply bytes, delays, port loss, stray
// bytes, how time passes, user clicks during a wait) to the exchange engine
// and its commands, and traps when the wire checks the tests share find a
// byte the user did not choose or a success the adapter did not send, or
// when a wait does not end.

#include "FuzzedEnd.h"
#include "settings/ConfigBytes.h"
#include "support/RecordedRun.h"

#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>
#include <utility>
#include <vector>

namespace {

using namespace qm240lx;
using test::CommandKind;

constexpr int mostCommands = 4;

void require(bool holds, const QStringList& why)
{
    if (holds)
        return;
    for (const QString& line : why)
        std::fprintf(stderr, "broken: %s\n", qPrintable(line));
    __builtin_trap();
}

// The user's selections, which clicks during a wait may change, and a run of
// commands judged against what the line carried.
class Session
{
public:
    explicit Session(FuzzedDataProvider& input)
        : m_input(input), m_end(input), m_line(input.ConsumeIntegral<Tick>(), &m_end),
          m_exchange(m_line, QStringLiteral("COM1"), m_line, m_line.tick())
    {
        m_line.openNow();
        for (const Group group : allGroups) {
            if (m_input.ConsumeBool())
                click(group);
        }
        if (m_input.ConsumeIntegralInRange(0, 15) == 0)
            m_abortAtPass = m_input.ConsumeIntegralInRange(1, 400);
        m_line.setHook([this](int pass) { onPass(pass); });
    }

    void run()
    {
        std::vector<test::CommandRecord> records;
        for (int left = m_input.ConsumeIntegralInRange(1, mostCommands); left > 0; --left) {
            m_end.idle(m_line);
            const auto kind = static_cast<CommandKind>(m_input.ConsumeIntegralInRange(0, 5));
            records.push_back(
                test::runRecorded(kind, m_exchange, m_line, [this, kind] { return build(kind); }));
            require(!m_exchange.busy(), {"a command left the exchange busy"});
        }
        const test::WireFindings findings =
            test::checkWire(m_line.events(), records,
                            [this](CommandKind, int position) { return builtBefore(position); });
        require(findings.falseSuccesses == 0 && findings.unchosenWrites == 0, findings.details);
    }

private:
    void click(Group group)
    {
        const int element = m_input.ConsumeIntegralInRange(0, elementCount(group) - 1);
        if (group == Group::OPT_DTime)
            m_discoveryTime = element;
        else
            m_recorded.select(group, element);
    }

    void onPass(int pass)
    {
        if (pass == m_abortAtPass)
            m_exchange.abort();
        if (m_input.ConsumeIntegralInRange(0, 7) == 0)
            click(allGroups[m_input.ConsumeIntegralInRange<std::size_t>(0, allGroups.size() - 1)]);
    }

    // Builds the upload's byte from the selections as they are now, and notes
    // where on the line that happened.
    BuiltByte build(CommandKind kind)
    {
        const BuiltByte built = test::buildFor(kind, m_recorded, m_discoveryTime);
        m_builds.emplace_back(static_cast<int>(m_line.events().size()), built.byte);
        return built;
    }

    // The byte built last before the event at `position`.
    std::optional<std::uint8_t> builtBefore(int position) const
    {
        std::optional<std::uint8_t> built;
        for (const auto& [at, byte] : m_builds)
            built = at <= position ? byte : built;
        return built;
    }

    FuzzedDataProvider& m_input;
    fuzz::FuzzedEnd m_end;
    test::VirtualLine m_line;
    Exchange m_exchange;
    RecordedValues m_recorded;
    std::optional<int> m_discoveryTime;
    int m_abortAtPass = 0;
    std::vector<std::pair<int, std::optional<std::uint8_t>>> m_builds;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Session session(input);
    try {
        session.run();
    } catch (const test::VirtualLine::EndlessWait& endless) {
        require(false, {endless.what()});
    }
    return 0;
}
