#include "cli/CliApp.h"

#include "cli/ApplyReport.h"
#include "cli/ApplyRun.h"
#include "cli/CliCommands.h"
#include "cli/JsonReport.h"
#include "cli/PortScan.h"
#include "cli/PortSession.h"
#include "cli/ProfileFile.h"
#include "link/ComMap.h"
#include "link/QtEventPump.h"

#include <variant>

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

} // namespace

CliApp::CliApp(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

int CliApp::run(const QStringList& arguments)
{
    const std::variant<CliOptions, CliExit> parsed = CliOptions::parse(arguments);
    if (const CliExit* exit = std::get_if<CliExit>(&parsed)) {
        if (exit->isError())
            printError(exit->text + QStringLiteral(" (see qm240lx --help)"));
        else
            writeText(m_out, exit->text);
        return toInt(exit->code);
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (options.trace)
        m_trace = TraceLog::toStandardError();
    const CommandResult result = runCommand(options);
    if (m_termination.received()) {
        printError(QStringLiteral("interrupted"));
        return m_termination.exitStatus(toInt(result.code));
    }
    print(options, result);
    return toInt(result.code);
}

CommandResult CliApp::runCommand(const CliOptions& options)
{
    if (options.command == CliCommand::Scan)
        return scan(options);
    if (options.command == CliCommand::Apply)
        return apply(options);
    PortSession session(options.port, m_trace ? &*m_trace : nullptr);
    // Goes before the session does, and the connection with it.
    const QObject stopping;
    QObject::connect(&m_termination, &TerminationSignals::caught, &stopping,
                     [&session] { session.exchange().abort(); });
    if (std::optional<CliExit> failure = session.open())
        return CommandResult::failed(*failure);
    CliCommands commands(session);
    switch (options.command) {
    case CliCommand::Detect:
        return commands.detect();
    case CliCommand::Read:
        return commands.read();
    case CliCommand::Set:
        return commands.set(options.changes, options.save);
    case CliCommand::Save:
        return commands.save();
    case CliCommand::Scan:
    case CliCommand::Apply:
        break;
    }
    return scan(options);
}

QList<PortScan::Port> CliApp::findAdapters(bool onlyOverrides, qsizetype& probed)
{
    const QList<int> numbers = onlyOverrides ? overriddenComNumbers() : allComNumbers();
    const QList<PortScan::Port> candidates =
        PortScan::candidates(numbers, processEnvironment, devicePresent, isSystemConsole);
    probed = candidates.size();
    QtEventPump pump(QEventLoop::ExcludeUserInputEvents);
    PortScan portScan(pump, systemTick, isSystemConsole, m_trace ? &*m_trace : nullptr);
    const QObject stopping;
    QObject::connect(&m_termination, &TerminationSignals::caught, &stopping,
                     [&portScan] { portScan.abort(); });
    return portScan.run(candidates);
}

CommandResult CliApp::scan(const CliOptions& options)
{
    qsizetype probed = 0;
    const QList<PortScan::Port> found = findAdapters(options.onlyOverrides, probed);
    CommandResult result;
    QJsonArray ports;
    for (const PortScan::Port& port : found) {
        ports.append(JsonReport::foundPort(port.com, port.device));
        const QString name = QStringLiteral("COM%1").arg(port.com);
        result.lines << QStringLiteral("%1 %2").arg(name, -6).arg(port.device);
    }
    result.json.insert(QStringLiteral("ports"), ports);
    if (found.isEmpty())
        result = noAdapterFound(probed);
    return result;
}

// The profile is whole and valid before any port opens.
CommandResult CliApp::apply(const CliOptions& options)
{
    const std::variant<FieldChanges, CliExit> profile = ProfileFile::load(options.profile);
    if (const CliExit* failure = std::get_if<CliExit>(&profile))
        return CommandResult::failed(*failure);
    QList<PortChoice> ports = options.ports;
    if (options.all) {
        qsizetype probed = 0;
        for (const PortScan::Port& port : findAdapters(options.onlyOverrides, probed))
            ports.append(PortChoice::comPort(port.com));
        if (ports.isEmpty())
            return noAdapterFound(probed);
    }
    const PortApply::Task task{std::get<FieldChanges>(profile), options.save, options.check};
    ApplyRun run(task, m_trace ? &*m_trace : nullptr);
    const QObject stopping;
    QObject::connect(&m_termination, &TerminationSignals::caught, &stopping,
                     [&run] { run.stop(); });
    if (m_termination.received())
        run.stop();
    const std::vector<PortApply::Outcome> outcomes =
        run.run(ports, [this, &options](const PortApply::Outcome& outcome) {
            if (!options.json && !m_termination.received())
                writeText(m_out, ApplyReport::line(outcome) + QLatin1Char('\n'));
        });
    return ApplyReport::result(outcomes, options.check);
}

void CliApp::print(const CliOptions& options, const CommandResult& result)
{
    if (options.json && !result.json.isEmpty())
        writeText(m_out,
                  QString::fromUtf8(QJsonDocument(result.json).toJson(QJsonDocument::Indented)));
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
