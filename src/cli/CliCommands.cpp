#include "cli/CliCommands.h"

#include "cli/JsonReport.h"
#include "cli/TextReport.h"
#include "protocol/Detection.h"
#include "protocol/ReadBack.h"
#include "protocol/SaveToFlash.h"

#include <QJsonArray>

namespace qm240lx {
namespace {

QString byteText(const char* name, std::uint8_t value)
{
    return QStringLiteral("the %1 %2").arg(QString::fromLatin1(name), TextReport::hex(value));
}

QString keepsSending(const QString& what)
{
    return QStringLiteral("the adapter keeps sending: the line never fell quiet, so %1 was not "
                          "written")
        .arg(what);
}

} // namespace

CliCommands::CliCommands(PortSession& session) : m_session(session) {}

Task<CommandResult> CliCommands::detect()
{
    const std::optional<CliExit> absent = co_await probe();
    if (absent)
        co_return CommandResult::failed(*absent);
    CommandResult result;
    result.json = JsonReport::port(m_session.port(), m_session.device());
    result.json.insert(QStringLiteral("ready"), true);
    result.lines << QStringLiteral("QM240LX ready on %1").arg(m_session.description());
    co_return result;
}

Task<CommandResult> CliCommands::read()
{
    const std::optional<CliExit> absent = co_await probe();
    if (absent)
        co_return CommandResult::failed(*absent);
    const std::variant<ConfigBytes, CliExit> bytes = co_await readBytes();
    if (const CliExit* failure = std::get_if<CliExit>(&bytes))
        co_return CommandResult::failed(*failure);
    co_return configurationResult(std::get<ConfigBytes>(bytes));
}

Task<CommandResult> CliCommands::set(FieldChanges changes, bool save)
{
    const std::optional<CliExit> absent = co_await probe();
    if (absent)
        co_return CommandResult::failed(*absent);
    const Applied applied = co_await applyAfterProbe(changes, save);
    CommandResult result;
    if (applied.failure) {
        result = CommandResult::failed(*applied.failure);
        result.json = JsonReport::port(m_session.port(), m_session.device());
        result.json.insert(QStringLiteral("error"), applied.failure->text);
        result.json.insert(QStringLiteral("error_kind"),
                           JsonReport::kindName(applied.failure->kind));
        result.lines << applied.afterFailure();
    } else {
        result = configurationResult(*applied.held);
        result.lines = applied.lines + result.lines;
    }
    result.json.insert(QStringLiteral("changed"), applied.changed);
    result.json.insert(QStringLiteral("saved"), applied.saved);
    co_return result;
}

Task<CliCommands::Applied> CliCommands::applyAfterProbe(FieldChanges changes, bool save)
{
    Applied applied;
    std::variant<ConfigBytes, CliExit> current = co_await readBytes();
    if (const ConfigBytes* read = std::get_if<ConfigBytes>(&current)) {
        applied.before = *read;
        current = co_await uploadChanges(*read, changes, applied);
    }
    if (const CliExit* failure = std::get_if<CliExit>(&current)) {
        applied.failure = *failure;
        co_return applied;
    }
    applied.held = std::get<ConfigBytes>(current);
    if (applied.changed.isEmpty())
        applied.lines << QStringLiteral("Nothing to change.");
    if (save) {
        applied.failure = co_await saveIntoFlash();
        // A line that never fell quiet kept the save from being written.
        applied.saveUnconfirmed =
            applied.failure && applied.failure->kind != FailureKind::KeepsSending;
        if (applied.failure)
            co_return applied;
        applied.saved = true;
        applied.lines << QStringLiteral("Configuration saved into flash.");
    }
    co_return applied;
}

QString CliCommands::Applied::afterFailure() const
{
    const QString saving =
        saveUnconfirmed ? QStringLiteral("whether the save into flash took effect is unknown")
                        : QStringLiteral("nothing was saved into flash");
    if (heldUnknown)
        return QStringLiteral("What the adapter holds now is unknown (check it with read); %1.")
            .arg(saving);
    if (changed.isEmpty())
        return QStringLiteral("The adapter's configuration is unchanged; %1.").arg(saving);
    QStringList taken = lines;
    taken.replaceInStrings(QStringLiteral(": set"), QString());
    return QStringLiteral("The adapter took %1 before the failure; %2.")
        .arg(taken.join(QStringLiteral(", ")), saving);
}

namespace {

QString changeLine(const char* name, std::uint8_t from, std::uint8_t to)
{
    return QStringLiteral("%1 %2 -> %3: set")
        .arg(QString::fromLatin1(name), TextReport::hex(from), TextReport::hex(to));
}

QString jsonName(const char* name)
{
    return QString::fromLatin1(name).toLower().replace(QLatin1Char('-'), QLatin1Char('_'));
}

const UploadKind* const uploadKinds[] = {&hostSettingsUpload(), &discoveryTimingUpload(),
                                         &primaryProtocolUpload()};

} // namespace

// Bits outside the fields do not count as a change: a byte whose fields stay
// as they are is not sent.
Task<std::variant<ConfigBytes, CliExit>>
CliCommands::uploadChanges(ConfigBytes read, FieldChanges changes, Applied& report)
{
    const ConfigBytes before = withFieldsOnly(read);
    const ConfigBytes wanted = changes.applyTo(before);
    std::variant<ConfigBytes, CliExit> current = read;
    for (const UploadKind* kind : uploadKinds) {
        const std::uint8_t now = before.*kind->byte;
        const std::uint8_t next = wanted.*kind->byte;
        if (now == next)
            continue;
        current = co_await upload(*kind, next);
        if (std::holds_alternative<CliExit>(current)) {
            co_await learnWhatChanged(before, report);
            co_return current;
        }
        report.lines << changeLine(kind->name, now, next);
        report.changed.append(jsonName(kind->name));
    }
    co_return current;
}

// An upload can fail after the adapter took the byte (its acknowledgement
// lost among stray bytes, say): only a read-back tells.
Task<> CliCommands::learnWhatChanged(const ConfigBytes& before, Applied& report)
{
    Exchange& exchange = m_session.exchange();
    report.heldUnknown = true;
    if (exchange.aborted() || !exchange.port().isOpen())
        co_return;
    const std::variant<ConfigBytes, CliExit> after = co_await readBytes();
    const ConfigBytes* held = std::get_if<ConfigBytes>(&after);
    if (!held)
        co_return;
    report.heldUnknown = false;
    report.held = *held;
    const ConfigBytes now = withFieldsOnly(*held);
    report.lines.clear();
    report.changed = QJsonArray();
    for (const UploadKind* kind : uploadKinds) {
        if (now.*kind->byte == before.*kind->byte)
            continue;
        report.lines << changeLine(kind->name, before.*kind->byte, now.*kind->byte);
        report.changed.append(jsonName(kind->name));
    }
}

Task<CommandResult> CliCommands::save()
{
    const std::optional<CliExit> absent = co_await probe();
    if (absent)
        co_return CommandResult::failed(*absent);
    const std::optional<CliExit> unsaved = co_await saveIntoFlash();
    if (unsaved)
        co_return CommandResult::failed(*unsaved);
    CommandResult result;
    result.json = JsonReport::port(m_session.port(), m_session.device());
    result.json.insert(QStringLiteral("saved"), true);
    result.lines
        << QStringLiteral("Configuration saved into flash on %1").arg(m_session.description());
    co_return result;
}

Task<std::optional<CliExit>> CliCommands::probe()
{
    const Answer detection = co_await detectAdapter(m_session.exchange(), m_session.show());
    switch (detection) {
    case Answer::Acknowledged:
        co_return std::nullopt;
    case Answer::Silence:
        co_return adapterFailure(FailureKind::NoAdapter,
                                 QStringLiteral("no adapter: nothing answered the probe within 2 "
                                                "seconds"));
    case Answer::Other:
        co_return adapterFailure(FailureKind::WrongAnswer,
                                 QStringLiteral("no adapter: the device answered the probe, but "
                                                "not with the adapter's acknowledgement"));
    case Answer::KeepsSending:
        co_return adapterFailure(FailureKind::KeepsSending,
                                 keepsSending(QStringLiteral("the probe")));
    case Answer::PortFailed:
    case Answer::Aborted:
        break;
    }
    co_return m_session.portFailure();
}

Task<std::variant<ConfigBytes, CliExit>> CliCommands::readBytes()
{
    const ReadBack readBack = co_await readConfiguration(m_session.exchange(), m_session.show());
    if (readBack.bytes)
        co_return *readBack.bytes;
    if (readBack.end == ReadBack::End::Timeout)
        co_return adapterFailure(FailureKind::NotConfirmed,
                                 QStringLiteral("the adapter answered the probe but did not send "
                                                "its configuration within 3 seconds"));
    if (readBack.end == ReadBack::End::KeepsSending)
        co_return adapterFailure(FailureKind::KeepsSending,
                                 keepsSending(QStringLiteral("the read-back request")));
    if (readBack.end == ReadBack::End::Suspect)
        co_return adapterFailure(FailureKind::NotConfirmed,
                                 QStringLiteral("the adapter sent more bytes than its "
                                                "configuration, %1 times: none of them is taken")
                                     .arg(readBackAttempts));
    co_return m_session.portFailure();
}

// Success only once a read-back shows the byte's fields in place.
Task<std::variant<ConfigBytes, CliExit>> CliCommands::upload(const UploadKind& kind,
                                                             std::uint8_t value)
{
    Exchange& exchange = m_session.exchange();
    const ReadBackRun readBack = [this] {
        return readConfiguration(m_session.exchange(), m_session.show());
    };
    const ByteBuilder build = [value] { return BuiltByte{value, std::nullopt}; };
    const UploadOutcome outcome =
        co_await uploadSetting(exchange, kind, build, readBack, m_session.show());
    const QString sent = byteText(kind.name, value);
    switch (outcome.end) {
    case UploadEnd::Accepted:
    case UploadEnd::ConfirmedAfterSilence:
    case UploadEnd::NotConfirmed:
        if (!outcome.readBack)
            co_return adapterFailure(FailureKind::NotConfirmed,
                                     QStringLiteral("%1 is not confirmed: the adapter did not "
                                                    "send its configuration back")
                                         .arg(sent));
        if (outcome.end != UploadEnd::NotConfirmed)
            co_return *outcome.readBack;
        co_return adapterFailure(FailureKind::NotConfirmed,
                                 QStringLiteral("%1 is not confirmed: the adapter holds %2")
                                     .arg(sent, TextReport::hex((*outcome.readBack).*kind.byte)));
    case UploadEnd::Rejected:
        co_return adapterFailure(FailureKind::Rejected,
                                 QStringLiteral("the adapter rejected %1 three times").arg(sent));
    case UploadEnd::KeepsSending:
        co_return adapterFailure(FailureKind::KeepsSending, keepsSending(sent));
    case UploadEnd::NothingSelected:
    case UploadEnd::PortFailed:
    case UploadEnd::Aborted:
        break;
    }
    co_return m_session.portFailure();
}

Task<std::optional<CliExit>> CliCommands::saveIntoFlash()
{
    const Answer saved = co_await saveToFlash(m_session.exchange(), m_session.show());
    switch (saved) {
    case Answer::Acknowledged:
        co_return std::nullopt;
    case Answer::Other:
        co_return adapterFailure(FailureKind::Rejected,
                                 QStringLiteral("the adapter refused to save its configuration "
                                                "into flash"));
    case Answer::Silence:
        co_return adapterFailure(FailureKind::NotConfirmed,
                                 QStringLiteral("the adapter did not confirm the save into flash "
                                                "within 1 second"));
    case Answer::KeepsSending:
        co_return adapterFailure(FailureKind::KeepsSending,
                                 keepsSending(QStringLiteral("the save into flash")));
    case Answer::PortFailed:
    case Answer::Aborted:
        break;
    }
    co_return m_session.portFailure();
}

CliExit CliCommands::adapterFailure(FailureKind kind, const QString& what) const
{
    return {exitCodeFor(kind), QStringLiteral("%1: %2").arg(m_session.description(), what), kind};
}

CommandResult CliCommands::configurationResult(const ConfigBytes& bytes) const
{
    CommandResult result;
    result.json = JsonReport::configuration(m_session.port(), m_session.device(), bytes);
    result.lines = TextReport::configuration(m_session.description(), bytes);
    return result;
}

} // namespace qm240lx
