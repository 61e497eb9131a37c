#pragma once

#include "async/Alarm.h"
#include "async/Deadline.h"
#include "async/Tick.h"
#include "link/Layer.h"
#include "link/Port.h"

#include <memory>
#include <optional>

#include <QObject>

namespace qm240lx {

// A port made of a stack of layers, opened layer by layer within one bound
// on the injected clock; or, when its name stood for nothing it could open,
// a port whose every opening fails for that reason. News reaches the handler
// from the event loop's next turn, outside the layers' own signals.
class PortStack : public Port
{
public:
    // Looking the host up, connecting, the TLS handshake and agreeing on
    // COM-PORT-OPTION all end within this.
    static constexpr Tick openLimitMs = 3000;

    // `alarm` serves this port's openings, one at a time.
    PortStack(std::unique_ptr<Layer> top, Alarm& alarm, TickSource tick);
    explicit PortStack(PortError refusal);
    ~PortStack() override;
    PortStack(const PortStack&) = delete;
    PortStack& operator=(const PortStack&) = delete;

    Task<bool> open() override;
    Task<> close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    void discard() override;
    Tick quietGapMs() const override { return m_top ? m_top->quietGapMs() : serialQuietGapMs; }
    void setNewsHandler(std::function<void()> handler) override;
    PortError failure() const override;

private:
    void closeNow();
    void tellNews();

    std::unique_ptr<Layer> m_top; // none for a port that cannot be opened
    PortError m_refusal;
    Alarm* m_alarm = nullptr;
    TickSource m_tick;
    std::optional<Deadline> m_opening;
    QObject m_context; // takes the news's posted call
    std::function<void()> m_news;
};

} // namespace qm240lx
