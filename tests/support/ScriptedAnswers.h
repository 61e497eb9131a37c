#pragma once

#include "support/FarEnd.h"
#include "support/VirtualLine.h"

#include <deque>
#include <utility>

namespace qm240lx::test {

// A far end that answers from a script: each command byte the host writes
// takes the next queued answer, which arrives after its delay; an empty answer
// is silence. The value byte after an upload's opcode takes no answer.
class ScriptedAnswers : public FarEnd
{
public:
    void answer(QByteArray reply, Tick delayMs = 0) { m_answers.emplace_back(reply, delayMs); }
    // Answers in hex, split by '|': "fa|039200"; an empty one is silence.
    void answers(const char* hex, Tick delayMs = 10)
    {
        for (const QString& reply : QString(hex).split('|'))
            answer(QByteArray::fromHex(reply.toLatin1()), delayMs);
    }

    void take(std::uint8_t byte, VirtualLine& line) override
    {
        if (std::exchange(m_valueNext, false))
            return;
        // The uploads' opcodes, written out here so that a wrong one in the
        // code under test shows.
        m_valueNext = byte == 0xAA || byte == 0xAB || byte == 0xAE;
        if (m_answers.empty())
            return;
        const auto [reply, delayMs] = m_answers.front();
        m_answers.pop_front();
        if (!reply.isEmpty())
            line.arriveAfter(delayMs, reply);
    }

private:
    std::deque<std::pair<QByteArray, Tick>> m_answers;
    bool m_valueNext = false;
};

} // namespace qm240lx::test
