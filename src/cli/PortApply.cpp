#include "cli/PortApply.h"

#include "cli/CliCommands.h"
#include "cli/PortSession.h"
#include "settings/Profile.h"

#include <variant>

#include <QScopeGuard>

namespace qm240lx {

PortApply::PortApply(const PortChoice& port, const Task& task, const TraceLog* trace)
    : m_task(task), m_trace(trace ? std::optional<TraceLog>(*trace) : std::nullopt)
{
    m_outcome.port = port;
    m_outcome.description = port.name();
}

PortApply::~PortApply()
{
    if (m_thread)
        m_thread->wait();
}

void PortApply::start(const std::function<void()>& finished)
{
    m_thread.reset(QThread::create([this] { run(); }));
    m_inThread.moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, &m_finishing, finished);
    m_thread->start();
}

// Delivered on the port's thread by its next pass of the event loop.
void PortApply::stop()
{
    QMetaObject::invokeMethod(
        &m_inThread,
        [this] {
            m_stopped = true;
            if (m_exchange)
                m_exchange->abort();
        },
        Qt::QueuedConnection);
}

void PortApply::run()
{
    PortSession session(m_outcome.port, m_trace ? &*m_trace : nullptr);
    m_exchange = &session.exchange();
    const auto forget = qScopeGuard([this] { m_exchange = nullptr; });
    if (m_stopped)
        session.exchange().abort();
    std::optional<CliExit> failure = session.open();
    m_outcome.device = session.device();
    m_outcome.description = session.description();
    if (failure) {
        fail(*failure);
        return;
    }
    CliCommands commands(session);
    if (m_task.check)
        compare(commands);
    else
        configure(commands);
}

void PortApply::configure(CliCommands& commands)
{
    const CliCommands::Applied applied = commands.apply(m_task.changes, m_task.save);
    m_outcome.changed = applied.changed;
    if (applied.failure) {
        fail(*applied.failure);
        return;
    }
    m_outcome.result = Result::Configured;
    m_outcome.saved = m_task.save;
}

void PortApply::compare(CliCommands& commands)
{
    const std::variant<ConfigBytes, CliExit> bytes = commands.probeAndRead();
    if (const CliExit* failure = std::get_if<CliExit>(&bytes)) {
        fail(*failure);
        return;
    }
    m_outcome.differences =
        Profile::differences(m_task.changes, ConfigFields::decode(std::get<ConfigBytes>(bytes)));
    m_outcome.result = m_outcome.differences.isEmpty() ? Result::Matches : Result::Differs;
}

void PortApply::fail(const CliExit& failure)
{
    m_outcome.result = Result::Failed;
    m_outcome.failure = failure;
}

} // namespace qm240lx
