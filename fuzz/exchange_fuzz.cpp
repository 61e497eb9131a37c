// Feeds arbitrary adapter behaviour (reply bytes, delays, port loss, stray
// bytes, how time passes, user clicks during a wait) to the exchange engine
// and its commands, and traps when the engine writes a byte the user did not
// choose, claims a success the adapter did not send, or waits without end.

#include "ScriptedLine.h"
#include "protocol/Detection.h"
#include "protocol/Exchange.h"
#include "protocol/Opcodes.h"
#include "protocol/ReadBack.h"
#include "settings/ConfigBytes.h"
#include "settings/RecordedValues.h"
#include "protocol/SaveToFlash.h"
#include "protocol/Upload.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace qm240lx;
using fuzz::ScriptedLine;

constexpr int mostCommands = 4;

void require(bool holds, const char* invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken: %s\n", invariant);
    __builtin_trap();
}

void showNothing(const QString&) {}

std::uint8_t fieldsOf(std::uint8_t opcode)
{
    return opcode == opcode::setHByte   ? hByteFields
           : opcode == opcode::setDByte ? dByteFields
                                        : pByteFields;
}

// The user's selections, which clicks during a wait may change, and a run of
// commands judged against what the line carried.
class Session
{
public:
    explicit Session(FuzzedDataProvider& input)
        : m_input(input), m_line(input, input.ConsumeIntegral<Tick>()),
          m_exchange(m_line, m_line, m_line.tick())
    {
        for (const Group group : allGroups) {
            if (m_input.ConsumeBool())
                click(group);
        }
        if (m_input.ConsumeIntegralInRange(0, 15) == 0)
            m_abortAtPass = m_input.ConsumeIntegralInRange(1, 400);
        m_line.setEachPass([this] { onPass(); });
    }

    void run()
    {
        for (int left = m_input.ConsumeIntegralInRange(1, mostCommands); left > 0; --left) {
            m_line.idle();
            runOne(m_input.ConsumeIntegralInRange(0, 5), m_line.events().size());
            require(!m_exchange.busy(), "a command left the exchange busy");
        }
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

    void onPass()
    {
        if (m_line.passes() == m_abortAtPass)
            m_exchange.abort();
        if (m_input.ConsumeIntegralInRange(0, 7) == 0)
            click(allGroups[m_input.ConsumeIntegralInRange<std::size_t>(0, allGroups.size() - 1)]);
    }

    void runOne(int which, std::size_t start)
    {
        switch (which) {
        case 0: {
            const bool ready = detectAdapter(m_exchange, showNothing) == Answer::Acknowledged;
            const auto probe = soleWrite(start, opcode::probe);
            require(!ready || (probe && acknowledged(*probe, SIZE_MAX)),
                    "ready without an acknowledgement");
            break;
        }
        case 1: {
            const ReadBack result = readConfiguration(m_exchange, showNothing);
            checkReadBack(soleWrite(start, opcode::readConfiguration), result);
            break;
        }
        case 5: {
            const bool saved = saveToFlash(m_exchange, showNothing) == Answer::Acknowledged;
            const auto save = soleWrite(start, opcode::saveToFlash);
            require(!saved || (save && acknowledged(*save, SIZE_MAX)),
                    "saved without an acknowledgement");
            break;
        }
        default:
            runUpload(start, which == 2   ? hostSettingsUpload()
                             : which == 3 ? discoveryTimingUpload()
                                          : primaryProtocolUpload());
        }
    }

    // Positions of the bytes written since `start`.
    std::vector<std::size_t> writesSince(std::size_t start) const
    {
        std::vector<std::size_t> writes;
        for (std::size_t at = start; at < m_line.events().size(); ++at) {
            if (m_line.events()[at].fromHost)
                writes.push_back(at);
        }
        return writes;
    }

    std::uint8_t byteAt(std::size_t at) const { return m_line.events()[at].byte; }

    // The command wrote nothing but `opcode`, at most once; where it did.
    std::optional<std::size_t> soleWrite(std::size_t start, std::uint8_t opcode) const
    {
        const std::vector<std::size_t> writes = writesSince(start);
        require(writes.size() <= 1, "a one-byte command wrote more than one byte");
        if (writes.empty())
            return std::nullopt;
        require(byteAt(writes.front()) == opcode, "a command wrote another command's opcode");
        return writes.front();
    }

    // Whether the adapter sent the acknowledgement after `from` and before `to`.
    bool acknowledged(std::size_t from, std::size_t to) const
    {
        for (std::size_t at = from; at < std::min(to, m_line.events().size()); ++at) {
            if (!m_line.events()[at].fromHost && byteAt(at) == opcode::ready)
                return true;
        }
        return false;
    }

    void checkReadBack(std::optional<std::size_t> request, const ReadBack& result) const
    {
        require(result.bytes.has_value() == (result.end == ReadBack::End::Read),
                "read-back bytes without a read, or a read without bytes");
        if (result.end != ReadBack::End::Read)
            return;
        require(request.has_value(), "a read-back read without asking");
        std::vector<std::uint8_t> sent;
        for (std::size_t at = *request; at < m_line.events().size() && sent.size() < 3; ++at) {
            if (!m_line.events()[at].fromHost)
                sent.push_back(byteAt(at));
        }
        require(sent.size() == 3, "a read-back read fewer than three bytes the adapter sent");
        require(*result.bytes == ConfigBytes{sent[0], sent[1], sent[2]},
                "a read-back showed bytes the adapter did not send");
    }

    BuiltByte build(std::uint8_t opcode) const
    {
        return opcode == opcode::setHByte   ? buildHByte(m_recorded)
               : opcode == opcode::setDByte ? buildDByte(m_recorded, m_discoveryTime)
                                            : buildPByte(m_recorded);
    }

    void runUpload(std::size_t start, const UploadKind& kind)
    {
        // Where each byte was built, and what it was.
        std::vector<std::pair<std::size_t, std::optional<std::uint8_t>>> builds;
        std::vector<std::pair<std::size_t, ReadBack>> readBacks;
        const UploadEnd end = uploadSetting(
            m_exchange, kind,
            [&] {
                const BuiltByte built = build(kind.opcode);
                builds.emplace_back(m_line.events().size(), built.byte);
                return built;
            },
            [&] {
                const std::size_t at = m_line.events().size();
                readBacks.emplace_back(at, readConfiguration(m_exchange, showNothing));
                return readBacks.back().second;
            },
            showNothing);

        // Pairs of the opcode and the value built last before it went out, then
        // at most one read-back request.
        const std::vector<std::size_t> writes = writesSince(start);
        int attempts = 0;
        std::optional<std::size_t> lastOpcode;
        std::optional<std::uint8_t> lastValue;
        std::size_t index = 0;
        for (; index < writes.size() && byteAt(writes[index]) == kind.opcode; index += 2) {
            ++attempts;
            lastOpcode = writes[index];
            if (index + 1 == writes.size())
                break;
            const std::uint8_t value = byteAt(writes[index + 1]);
            require((value & ~fieldsOf(kind.opcode)) == 0, "a value byte outside its fields");
            std::optional<std::uint8_t> chosen;
            for (const auto& [at, byte] : builds)
                chosen = at <= writes[index + 1] ? byte : chosen;
            require(chosen == value, "a value byte the user did not choose");
            lastValue = value;
        }
        require(attempts <= uploadAttempts, "more attempts than allowed");
        std::optional<std::size_t> request;
        if (index < writes.size()) {
            require(byteAt(writes[index]) == opcode::readConfiguration &&
                        index + 1 == writes.size(),
                    "an upload wrote something but its pairs and one read-back");
            request = writes[index];
        }
        require(readBacks.size() <= 1, "an upload read back more than once");
        if (!readBacks.empty())
            checkReadBack(request, readBacks.front().second);

        switch (end) {
        case UploadEnd::Accepted:
            require(lastOpcode &&
                        acknowledged(*lastOpcode,
                                     readBacks.empty() ? SIZE_MAX : readBacks.front().first),
                    "accepted without an acknowledgement to the upload");
            break;
        case UploadEnd::ConfirmedAfterSilence:
            require(lastValue && !readBacks.empty() && readBacks.front().second.bytes &&
                        ((*readBacks.front().second.bytes).*kind.byte & fieldsOf(kind.opcode)) ==
                            *lastValue,
                    "confirmed without a read-back holding the fields sent");
            break;
        case UploadEnd::Rejected:
            require(attempts == uploadAttempts, "rejected before the last attempt");
            break;
        case UploadEnd::NothingSelected:
            require(attempts == 0, "an upload wrote with nothing selected");
            break;
        default:
            break;
        }
    }

    FuzzedDataProvider& m_input;
    ScriptedLine m_line;
    Exchange m_exchange;
    RecordedValues m_recorded;
    std::optional<int> m_discoveryTime;
    int m_abortAtPass = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Session session(input);
    session.run();
    return 0;
}
