#include "link/PortStack.h"

#include <utility>

namespace qm240lx {

PortStack::PortStack(std::unique_ptr<Layer> top, Alarm& alarm, TickSource tick)
    : m_top(std::move(top)), m_alarm(&alarm), m_tick(std::move(tick))
{
    m_top->setNewsHandler([this] {
        QMetaObject::invokeMethod(
            &m_context, [this] { tellNews(); }, Qt::QueuedConnection);
    });
}

PortStack::PortStack(PortError refusal) : m_refusal(std::move(refusal)) {}

PortStack::~PortStack()
{
    closeNow();
}

Task<bool> PortStack::open()
{
    if (!m_top)
        co_return false;
    if (m_top->isOpen())
        co_return true;
    m_opening.emplace(*m_alarm, m_tick, openLimitMs);
    const bool opened = co_await m_top->open(*m_opening);
    m_opening.reset();
    if (opened)
        m_top->beginExchange();
    co_return opened;
}

Task<> PortStack::close()
{
    closeNow();
    co_return;
}

// An opening under way ends as given up.
void PortStack::closeNow()
{
    if (m_opening)
        m_opening->giveUp();
    if (m_top)
        m_top->close();
}

bool PortStack::isOpen() const
{
    return m_top && !m_opening && m_top->isOpen();
}

bool PortStack::write(const QByteArray& bytes)
{
    return isOpen() && m_top->write(bytes);
}

std::optional<int> PortStack::waiting()
{
    if (!isOpen())
        return std::nullopt;
    return m_top->waiting();
}

std::optional<QByteArray> PortStack::take(int most)
{
    if (!isOpen())
        return std::nullopt;
    return m_top->take(most);
}

void PortStack::discard()
{
    if (isOpen())
        m_top->discard();
}

void PortStack::setNewsHandler(std::function<void()> handler)
{
    m_news = std::move(handler);
}

void PortStack::tellNews()
{
    if (m_news)
        m_news();
}

PortError PortStack::failure() const
{
    return m_top ? m_top->failure() : m_refusal;
}

} // namespace qm240lx
