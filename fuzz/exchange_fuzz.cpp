// Feeds arbitrary adapter behaviour (reply bytes, delays, port loss, stray
// bytes, how time passes, user clicks during a wait) to the exchange engine
// and its commands, and traps when the engine writes a byte the user did not
// choose, claims a success the adapter did not send, or waits without end.

#include "ScriptedLine.h"
#include "link/Detection.h"
#include "link/Exchange.h"
#include "link/ReadBack.h"
#include "settings/ConfigBytes.h"
#include "settings/RecordedValues.h"
#include "settings/SaveToFlash.h"
#include "settings/Upload.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

using namespace qm240lx;
using fuzz::ScriptedLine;
using Events = std::vector<ScriptedLine::Event>;

constexpr int mostCommands = 4;

void require(bool holds, const char* invariant)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken: %s\n", invariant);
    __builtin_trap();
}

// The user's selections; clicks during a wait may change them.
class Selections
{
public:
    explicit Selections(FuzzedDataProvider& input) : m_input(input)
    {
        for (const Group group : allGroups) {
            if (m_input.ConsumeBool())
                click(group);
        }
    }

    void clickSomething()
    {
        if (m_input.ConsumeIntegralInRange(0, 7) == 0)
            click(allGroups[m_input.ConsumeIntegralInRange<std::size_t>(0, allGroups.size() - 1)]);
    }

    BuiltByte build(std::uint8_t opcode) const
    {
        switch (opcode) {
        case 0xAE:
            return buildHByte(m_recorded);
        case 0xAA:
            return buildDByte(m_recorded, m_discoveryTime);
        default:
            return buildPByte(m_recorded);
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

    FuzzedDataProvider& m_input;
    RecordedValues m_recorded;
    std::optional<int> m_discoveryTime;
};

std::uint8_t fieldMask(std::uint8_t opcode)
{
    switch (opcode) {
    case 0xAE:
        return hByteFields;
    case 0xAA:
        return dByteFields;
    default:
        return pByteFields;
    }
}

Events since(const Events& events, std::uint64_t order)
{
    Events later;
    for (const ScriptedLine::Event& event : events) {
        if (event.order >= order)
            later.push_back(event);
    }
    return later;
}

// Whether the adapter sent the acknowledgement after `from` and before `to`.
bool acknowledgedBetween(const ScriptedLine& line, std::uint64_t from,
                         std::uint64_t to = UINT64_MAX)
{
    for (const ScriptedLine::Event& event : since(line.delivered(), from)) {
        if (event.order < to && event.byte == 0xFA)
            return true;
    }
    return false;
}

// The first `count` bytes the adapter sent after `order`.
QByteArray firstDelivered(const ScriptedLine& line, std::uint64_t order, int count)
{
    QByteArray bytes;
    for (const ScriptedLine::Event& event : since(line.delivered(), order)) {
        if (bytes.size() == count)
            break;
        bytes.append(static_cast<char>(event.byte));
    }
    return bytes;
}

struct Built
{
    std::uint64_t order; // of the next event when the byte was built
    BuiltByte byte;
};

class Session
{
public:
    explicit Session(FuzzedDataProvider& input)
        : m_input(input), m_line(input, input.ConsumeIntegral<Tick>()), m_selections(input),
          m_exchange(m_line, m_line, m_line.tick())
    {
        if (m_input.ConsumeIntegralInRange(0, 15) == 0)
            m_abortAtPass = m_input.ConsumeIntegralInRange(1, 400);
        m_line.setEachPass([this] { onPass(); });
    }

    void run()
    {
        const int commands = m_input.ConsumeIntegralInRange(1, mostCommands);
        for (int command = 0; command < commands; ++command) {
            m_line.idle();
            runOne(m_input.ConsumeIntegralInRange(0, 5));
        }
    }

private:
    void onPass()
    {
        if (m_line.passes() == m_abortAtPass)
            m_exchange.abort();
        m_selections.clickSomething();
    }

    void runOne(int which)
    {
        const std::uint64_t start = m_line.nextOrder();
        const auto show = [](const QString&) {};
        switch (which) {
        case 0:
            checkDetection(start, detectAdapter(m_exchange, show));
            break;
        case 1:
            checkReadBack(start, readConfiguration(m_exchange, show));
            break;
        case 2:
            runUpload(start, hostSettingsUpload());
            break;
        case 3:
            runUpload(start, discoveryTimingUpload());
            break;
        case 4:
            runUpload(start, primaryProtocolUpload());
            break;
        default:
            checkSave(start, saveToFlash(m_exchange, show));
            break;
        }
        require(!m_exchange.busy(), "a command left the exchange busy");
    }

    // The command wrote nothing but `opcode`, at most once; returns its order.
    std::optional<std::uint64_t> soleWrite(std::uint64_t start, std::uint8_t opcode) const
    {
        const Events writes = since(m_line.written(), start);
        require(writes.size() <= 1, "a one-byte command wrote more than one byte");
        if (writes.empty())
            return std::nullopt;
        require(writes.front().byte == opcode, "a command wrote another command's opcode");
        return writes.front().order;
    }

    void checkDetection(std::uint64_t start, Detection detection) const
    {
        const auto probe = soleWrite(start, 0xAC);
        if (detection == Detection::Ready)
            require(probe && acknowledgedBetween(m_line, *probe),
                    "ready without an acknowledgement");
    }

    void checkReadBack(std::uint64_t start, const ReadBack& result) const
    {
        const auto request = soleWrite(start, 0xAD);
        checkReadBackResult(request, result);
    }

    void checkReadBackResult(std::optional<std::uint64_t> request, const ReadBack& result) const
    {
        require(result.bytes.has_value() == (result.end == ReadBack::End::Read),
                "read-back bytes without a read, or a read without bytes");
        if (result.end != ReadBack::End::Read)
            return;
        require(request.has_value(), "a read-back read without asking");
        const QByteArray sent = firstDelivered(m_line, *request, 3);
        require(sent.size() == 3, "a read-back read fewer than three bytes the adapter sent");
        const ConfigBytes expected{static_cast<std::uint8_t>(sent[0]),
                                   static_cast<std::uint8_t>(sent[1]),
                                   static_cast<std::uint8_t>(sent[2])};
        require(*result.bytes == expected, "a read-back showed bytes the adapter did not send");
    }

    void runUpload(std::uint64_t start, const UploadKind& kind)
    {
        m_builds.clear();
        std::vector<ReadBack> readBacks;
        std::vector<std::uint64_t> readBackStarts;
        const ByteBuilder build = [&] {
            const BuiltByte built = m_selections.build(kind.opcode);
            m_builds.push_back({m_line.nextOrder(), built});
            return built;
        };
        const ReadBackRun readBack = [&] {
            readBackStarts.push_back(m_line.nextOrder());
            readBacks.push_back(readConfiguration(m_exchange, [](const QString&) {}));
            return readBacks.back();
        };
        const UploadEnd end =
            uploadSetting(m_exchange, kind, build, readBack, [](const QString&) {});
        checkUpload(start, kind, end, readBacks, readBackStarts);
    }

    // The byte a value write must carry: the last one built before it.
    std::optional<std::uint8_t> builtBefore(std::uint64_t order) const
    {
        std::optional<std::uint8_t> byte;
        for (const Built& built : m_builds) {
            if (built.order <= order)
                byte = built.byte.byte;
        }
        return byte;
    }

    struct UploadWrites
    {
        int attempts = 0;
        std::optional<std::uint64_t> lastOpcode;
        std::optional<std::uint8_t> lastValue;
        std::optional<std::uint64_t> request; // of the read-back
    };

    UploadWrites checkUploadWrites(std::uint64_t start, const UploadKind& kind) const
    {
        const Events writes = since(m_line.written(), start);
        UploadWrites seen;
        std::size_t index = 0;
        for (; index < writes.size() && writes[index].byte == kind.opcode; index += 2) {
            ++seen.attempts;
            seen.lastOpcode = writes[index].order;
            if (index + 1 == writes.size())
                break;
            const ScriptedLine::Event& value = writes[index + 1];
            require((value.byte & ~fieldMask(kind.opcode)) == 0, "a value byte outside its fields");
            require(builtBefore(value.order) == value.byte, "a value byte the user did not choose");
            seen.lastValue = value.byte;
        }
        require(seen.attempts <= uploadAttempts, "more attempts than allowed");
        if (index < writes.size()) {
            require(writes[index].byte == 0xAD && index + 1 == writes.size(),
                    "an upload wrote something but its pairs and one read-back");
            seen.request = writes[index].order;
        }
        return seen;
    }

    void checkUpload(std::uint64_t start, const UploadKind& kind, UploadEnd end,
                     const std::vector<ReadBack>& readBacks,
                     const std::vector<std::uint64_t>& readBackStarts) const
    {
        const UploadWrites writes = checkUploadWrites(start, kind);
        require(readBacks.size() <= 1, "an upload read back more than once");
        if (!readBacks.empty())
            checkReadBackResult(writes.request, readBacks.front());
        switch (end) {
        case UploadEnd::Accepted:
            require(writes.lastOpcode &&
                        acknowledgedBetween(m_line, *writes.lastOpcode,
                                            readBackStarts.empty() ? UINT64_MAX
                                                                   : readBackStarts.front()),
                    "accepted without an acknowledgement to the upload");
            break;
        case UploadEnd::ConfirmedAfterSilence:
            require(writes.lastValue && !readBacks.empty() && readBacks.front().bytes &&
                        (*readBacks.front().bytes).*kind.byte == *writes.lastValue,
                    "confirmed without a read-back holding the byte sent");
            break;
        case UploadEnd::Rejected:
            require(writes.attempts == uploadAttempts, "rejected before the last attempt");
            break;
        case UploadEnd::NothingSelected:
            require(writes.attempts == 0, "an upload wrote with nothing selected");
            break;
        default:
            break;
        }
    }

    void checkSave(std::uint64_t start, SaveEnd end) const
    {
        const auto save = soleWrite(start, 0xAF);
        if (end == SaveEnd::Saved)
            require(save && acknowledgedBetween(m_line, *save), "saved without an acknowledgement");
    }

    FuzzedDataProvider& m_input;
    ScriptedLine m_line;
    Selections m_selections;
    Exchange m_exchange;
    int m_abortAtPass = 0;
    std::vector<Built> m_builds;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Session session(input);
    session.run();
    return 0;
}
