#include "cli/CliApp.h"

#include "cli/ApplyReport.h"
#include "cli/ApplyRun.h"
#include "cli/CliCommands.h"
#include "cli/JsonReport.h"
#include "cli/OpenFileLimit.h"
#include "cli/PortScan.h"
#include "cli/PortSession.h"
#include "cli/ProfileFile.h"
#include "cli/ProvisionLog.h"
#include "cli/ProvisionStation.h"
#include "naming/ComMap.h"
#include "naming/PresentPorts.h"

#include <variant>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace qm240lx {
namespace {

QList<int> allComNumbers()
{
    QList<int> numbers;
    for (int com = firstComNumber; com <= lastComNumber; ++com)
        numbers.append(com);
    return numbers;
}

QList<PortScan::Port> candidatePorts(bool onlyOverrides)
{
    const QList<int> numbers = onlyOverrides ? overriddenComNumbers() : allComNumbers();
    return PortScan::candidates(numbers, processEnvironment, devicePresent, isSystemConsole);
}

void writeText(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

CommandResult noAdapterFound(qsizetype probed)
{
    CommandResult result;
    result.json.insert(QStringLiteral("ports"), QJsonArray());
    result.code = ExitCode::NoAdapter;
    result.error =
        probed == 0 ? QStringLiteral("no serial port to probe")
        : probed == 1
            ? QStringLiteral("no adapter answered on the one port probed")
            : QStringLiteral("no adapter answered on any of the %1 ports probed").arg(probed);
    return result;
}

// The commands that also run on many ports at once, and what each does
// after the probe.
std::optional<PortApply::Step> stepOnEveryPort(CliCommand command)
{
    switch (command) {
    case CliCommand::Detect:
        return PortApply::Step::Detect;
    case CliCommand::Read:
        return PortApply::Step::Read;
    case CliCommand::Save:
        return PortApply::Step::Save;
    case CliCommand::Set:
    case CliCommand::Scan:
    case CliCommand::Apply:
    case CliCommand::Provision:
        break;
    }
    return std::nullopt;
}

} // namespace

CliApp::CliApp(std::FILE* out, std::FILE* err) : m_out(out), m_err(err)
{
    QObject::connect(&m_termination, &TerminationSignals::caught, &m_termination, [this] {
        if (const std::function<void()> stop = std::exchange(m_gentleStop, {})) {
            m_stoppedGently = true;
            stop();
        } else {
            m_interruption.interrupt();
        }
    });
}

int CliApp::run(const QStringList& arguments)
{
    const std::variant<CliOptions, CliExit> parsed = parseUnwatched(arguments);
    if (const CliExit* exit = std::get_if<CliExit>(&parsed)) {
        if (exit->code == ExitCode::Usage)
            printError(exit->text + QStringLiteral(" (see qm240lx --help)"));
        else if (exit->isError())
            printError(exit->text);
        else
            writeText(m_out, exit->text);
        return toInt(exit->code);
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (std::optional<PortError> refused = loadTls(options.tls, m_portOptions)) {
        printError(refused->message);
        return toInt(exitCodeFor(refused->kind));
    }
    if (options.trace)
        m_trace = TraceLog::toStandardError();
    if (m_termination.received())
        m_interruption.interrupt();
    CommandResult result;
    const Task<> command = runToEnd(options, result);
    if (!command.done())
        QCoreApplication::exec();
    if (m_interruption.interrupted() || (m_termination.received() && !m_stoppedGently)) {
        printError(QStringLiteral("interrupted"));
        return m_termination.exitStatus(toInt(result.code));
    }
    print(options, result);
    return toInt(result.code);
}

// An inventory or a profile may come from a pipe or a terminal that never
// ends: a signal then ends the program, before any port is open.
std::variant<CliOptions, CliExit> CliApp::parseUnwatched(const QStringList& arguments) const
{
    const TerminationSignals::Unwatched unwatched(m_termination);
    return CliOptions::parse(arguments);
}

std::variant<FieldChanges, CliExit> CliApp::loadUnwatched(const QString& profile) const
{
    const TerminationSignals::Unwatched unwatched(m_termination);
    return ProfileFile::load(profile);
}

// Ends the event loop once the command has ended; a command that never
// waited ends before the loop starts.
Task<> CliApp::runToEnd(const CliOptions& options, CommandResult& result)
{
    result = co_await runCommand(options);
    QCoreApplication::exit(0);
}

Task<CommandResult> CliApp::runCommand(const CliOptions& options)
{
    switch (options.command) {
    case CliCommand::Scan:
        co_return co_await scan(options);
    case CliCommand::Apply:
        co_return co_await apply(options);
    case CliCommand::Provision:
        co_return co_await provision(options);
    default:
        break;
    }
    const std::optional<PortApply::Step> step = stepOnEveryPort(options.command);
    if (step && (options.all || options.ports.size() > 1)) {
        PortApply::Plan plan;
        plan.step = *step;
        co_return co_await onEveryPort(options, std::move(plan));
    }
    co_return co_await runOnPort(options);
}

Task<CommandResult> CliApp::runOnPort(const CliOptions& options)
{
    PortSession session(options.port, m_portOptions, m_trace ? &*m_trace : nullptr, m_interruption);
    const std::optional<CliExit> failure = co_await session.open();
    if (failure)
        co_return CommandResult::failed(*failure);
    CliCommands commands(session);
    switch (options.command) {
    case CliCommand::Detect:
        co_return co_await commands.detect();
    case CliCommand::Read:
        co_return co_await commands.read();
    case CliCommand::Set:
        co_return co_await commands.set(options.changes, options.save);
    case CliCommand::Save:
        co_return co_await commands.save();
    case CliCommand::Scan:
    case CliCommand::Apply:
    case CliCommand::Provision:
        break;
    }
    co_return CommandResult{};
}

Task<CommandResult> CliApp::scan(const CliOptions& options)
{
    const QList<PortScan::Port> candidates = candidatePorts(options.onlyOverrides);
    if (std::optional<CliExit> failure = makeRoomForPorts(candidates.size()))
        co_return CommandResult::failed(*failure);
    const QList<PortScan::Port> found = co_await PortScan::run(
        candidates, m_portOptions, m_trace ? &*m_trace : nullptr, m_interruption);
    if (found.isEmpty())
        co_return noAdapterFound(candidates.size());
    CommandResult result;
    QJsonArray ports;
    for (const PortScan::Port& port : found) {
        ports.append(JsonReport::foundPort(port.com, port.device));
        result.lines << QStringLiteral("%1 %2").arg(comName(port.com), -6).arg(port.device);
    }
    result.json.insert(QStringLiteral("ports"), ports);
    co_return result;
}

// The profile is whole and valid before any port opens.
Task<CommandResult> CliApp::apply(const CliOptions& options)
{
    const std::variant<FieldChanges, CliExit> profile = loadUnwatched(options.profile);
    if (const CliExit* failure = std::get_if<CliExit>(&profile))
        co_return CommandResult::failed(*failure);
    PortApply::Plan plan;
    plan.step = options.check ? PortApply::Step::Check : PortApply::Step::Configure;
    plan.changes = std::get<FieldChanges>(profile);
    plan.save = options.save;
    co_return co_await onEveryPort(options, std::move(plan));
}

// With --all, each candidate port is probed once: where an adapter answers,
// the same session goes on with the plan; the others are left out.
Task<CommandResult> CliApp::onEveryPort(const CliOptions& options, PortApply::Plan plan)
{
    QList<PortChoice> ports = options.ports;
    if (options.all) {
        for (const PortScan::Port& port : candidatePorts(options.onlyOverrides))
            ports.append(PortChoice::comPort(port.com));
    }
    if (std::optional<CliExit> failure = makeRoomForPorts(ports.size()))
        co_return CommandResult::failed(*failure);
    plan.onlyWhereAnswered = options.all;
    const PortApply::Step step = plan.step;
    ApplyRun run(std::move(plan), m_portOptions, m_trace ? &*m_trace : nullptr, m_interruption);
    const std::vector<PortApply::Outcome> outcomes =
        co_await run.run(ports, [this, &options](const PortApply::Outcome& outcome) {
            if (!options.json && !m_termination.received())
                writeText(m_out, ApplyReport::line(outcome) + QLatin1Char('\n'));
        });
    if (options.all && outcomes.empty())
        co_return noAdapterFound(ports.size());
    co_return ApplyReport::result(outcomes, step);
}

// The profile and the log are checked before anything is watched. The first
// termination signal stops the station gently; a second one interrupts.
Task<CommandResult> CliApp::provision(const CliOptions& options)
{
    const std::variant<FieldChanges, CliExit> profile = loadUnwatched(options.profile);
    if (const CliExit* failure = std::get_if<CliExit>(&profile))
        co_return CommandResult::failed(*failure);
    std::optional<ProvisionLog> log;
    if (!options.log.isEmpty()) {
        std::variant<ProvisionLog, CliExit> opened = ProvisionLog::open(options.log);
        if (const CliExit* failure = std::get_if<CliExit>(&opened))
            co_return CommandResult::failed(*failure);
        log.emplace(std::move(std::get<ProvisionLog>(opened)));
    }
    if (m_interruption.interrupted())
        co_return CommandResult{};
    ProvisionStation station({std::get<FieldChanges>(profile), options.save, options.present,
                              options.watch, options.json},
                             m_portOptions, std::move(log), m_out, m_err,
                             m_trace ? &*m_trace : nullptr, m_interruption);
    m_gentleStop = [&station] { station.stop(); };
    CommandResult result = co_await station.run();
    m_gentleStop = {};
    co_return result;
}

void CliApp::print(const CliOptions& options, const CommandResult& result)
{
    const QJsonObject json = options.json && result.json.isEmpty() && !result.error.isEmpty()
                                 ? JsonReport::error(result.kind, result.error)
                                 : result.json;
    if (options.json && !json.isEmpty())
        writeText(m_out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)));
    if (!options.json && !result.lines.isEmpty())
        writeText(m_out, result.lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    if (!result.error.isEmpty())
        printError(result.error);
}

void CliApp::printError(const QString& message)
{
    writeText(m_err, QStringLiteral("qm240lx: %1\n").arg(message));
}

} // namespace qm240lx
