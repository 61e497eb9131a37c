#include "cli/ProvisionStation.h"

#include "cli/ApplyReport.h"
#include "cli/JsonReport.h"

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace qm240lx {
namespace {

const QString byIdFolder = QStringLiteral("/dev/serial/by-id");

// The device's name under /dev/serial/by-id, which stays the same whichever
// USB port it is plugged into; empty when it has none.
QString byIdName(const QString& device)
{
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        if (link.canonicalFilePath() == device)
            return link.fileName();
    }
    return {};
}

QJsonValue bytesOf(const std::optional<ConfigBytes>& bytes)
{
    if (!bytes)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("h_byte"), bytes->h},
                       {QStringLiteral("d_byte"), bytes->d},
                       {QStringLiteral("p_byte"), bytes->p}};
}

QString resultOf(const PortApply::Outcome& outcome)
{
    if (outcome.result != PortApply::Result::Failed)
        return outcome.changed.isEmpty() ? QStringLiteral("unchanged")
                                         : QStringLiteral("configured");
    if (outcome.failure.code == ExitCode::NoAdapter)
        return QStringLiteral("no_adapter");
    return QStringLiteral("failed");
}

// "2026-12-08T09:14:03.512+01:00"
QString now()
{
    const QDateTime local = QDateTime::currentDateTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

ProvisionStation::ProvisionStation(Plan plan, PortOptions options, std::optional<ProvisionLog> log,
                                   std::FILE* out, std::FILE* err, TraceLog* trace,
                                   Interruption& interruption)
    : m_plan(std::move(plan)), m_options(std::move(options)), m_log(std::move(log)), m_out(out),
      m_err(err), m_trace(trace), m_interruption(interruption), m_watch(m_plan.patterns)
{
    QObject::connect(&m_watch, &DeviceWatch::appeared, &m_watch,
                     [this](const QString& device) { take(device); });
    QObject::connect(&m_watch, &DeviceWatch::failed, &m_watch, [this](const QString& why) {
        m_watchFailure = CliExit{ExitCode::OsError, why};
        print(m_err, QStringLiteral("qm240lx: %1; taking no more devices").arg(why));
        stop();
    });
}

Task<CommandResult> ProvisionStation::run()
{
    const std::optional<QStringList> present = m_watch.start();
    if (!present)
        co_return CommandResult::failed({ExitCode::OsError, m_watch.error()});
    QString watching = QStringLiteral("qm240lx: watching %1").arg(m_plan.patterns.join(", "));
    if (!present->isEmpty() && !m_plan.present)
        watching += QStringLiteral("; %1 device(s) present left alone until plugged in again "
                                   "(--present takes them too)")
                        .arg(present->size());
    print(m_err, watching);
    if (m_plan.present) {
        for (const QString& device : *present)
            take(device);
    }
    while (!m_stopping || !m_inHand.empty()) {
        co_await m_news;
        reapFinished();
    }
    CommandResult result;
    if (m_plan.json)
        print(m_err, QStringLiteral("qm240lx: ") + summary());
    else
        result.lines << summary();
    result.code = m_counts.failed > 0 ? ExitCode::Differs : ExitCode::Success;
    if (const std::optional<CliExit>& failure = m_logFailure ? m_logFailure : m_watchFailure) {
        result.code = failure->code;
        result.error = failure->text;
    }
    co_return result;
}

void ProvisionStation::stop()
{
    const auto inHand =
        std::ranges::count_if(m_inHand, [](const auto& entry) { return !entry.second.done(); });
    if (!m_stopping && inHand > 0)
        print(m_err, QStringLiteral("qm240lx: stopping: finishing the %1 adapter(s) in hand; "
                                    "stop again to abandon them")
                         .arg(inHand));
    m_stopping = true;
    m_watch.stop();
    m_news.wake();
}

void ProvisionStation::take(const QString& device)
{
    if (m_stopping)
        return;
    const int number = ++m_taken;
    m_inHand.emplace(number, handle(device, number));
}

Task<> ProvisionStation::handle(QString device, int number)
{
    QElapsedTimer took;
    took.start();
    PortApply::Plan plan;
    plan.changes = m_plan.changes;
    plan.save = m_plan.save;
    plan.verify = true;
    plan.waitForAccess = true;
    const PortChoice port{std::nullopt, device};
    const PortApply::Outcome outcome =
        co_await PortApply::run(port, plan, m_options, m_trace, m_interruption);
    const QJsonObject entry = record(device, outcome, took.elapsed() / 1000.0);
    if (m_log && !m_logFailure) {
        m_logFailure = m_log->append(entry);
        if (m_logFailure) {
            print(m_err,
                  QStringLiteral("qm240lx: %1; taking no more devices").arg(m_logFailure->text));
            stop();
        }
    }
    print(m_out, m_plan.json
                     ? QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact))
                     : line(number, entry, outcome));
    count(outcome);
    m_news.wake();
}

void ProvisionStation::count(const PortApply::Outcome& outcome)
{
    const QString result = resultOf(outcome);
    if (result == QLatin1String("configured"))
        ++m_counts.configured;
    else if (result == QLatin1String("unchanged"))
        ++m_counts.unchanged;
    else if (result == QLatin1String("no_adapter"))
        ++m_counts.noAdapter;
    else
        ++m_counts.failed;
}

QJsonObject ProvisionStation::record(const QString& device, const PortApply::Outcome& outcome,
                                     double seconds) const
{
    const QString byId = byIdName(device);
    const bool failed = outcome.result == PortApply::Result::Failed;
    return {
        {QStringLiteral("time"), now()},
        {QStringLiteral("device"), device},
        {QStringLiteral("by_id"), byId.isEmpty() ? QJsonValue() : QJsonValue(byId)},
        {QStringLiteral("before"), bytesOf(outcome.before)},
        {QStringLiteral("after"), bytesOf(outcome.configuration)},
        {QStringLiteral("changed"), outcome.changed},
        {QStringLiteral("saved"), outcome.saved},
        {QStringLiteral("result"), resultOf(outcome)},
        {QStringLiteral("error"), failed ? QJsonValue(outcome.failure.text) : QJsonValue()},
        {QStringLiteral("error_kind"),
         failed ? QJsonValue(JsonReport::kindName(outcome.failure.kind)) : QJsonValue()},
        {QStringLiteral("seconds"), qRound(seconds * 100) / 100.0},
    };
}

// "3 /dev/ttyUSB0 (usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0): configured:
// h_byte set, saved into flash (1.43 s)"
QString ProvisionStation::line(int number, const QJsonObject& record,
                               const PortApply::Outcome& outcome) const
{
    QString device = record[QStringLiteral("device")].toString();
    if (record[QStringLiteral("by_id")].isString())
        device += QStringLiteral(" (%1)").arg(record[QStringLiteral("by_id")].toString());
    const QString result = resultOf(outcome);
    QString what;
    if (outcome.result != PortApply::Result::Failed) {
        const QStringList done = ApplyReport::configuredParts(outcome);
        what = done.isEmpty() ? result : result + QStringLiteral(": ") + done.join(", ");
    } else {
        const QString error = ApplyReport::failureText(outcome);
        what = result == QLatin1String("no_adapter")
                   ? error
                   : QStringLiteral("failed (%1): %2")
                         .arg(JsonReport::kindName(outcome.failure.kind), error);
    }
    return QStringLiteral("%1 %2: %3 (%4 s)")
        .arg(number)
        .arg(device, what)
        .arg(record[QStringLiteral("seconds")].toDouble(), 0, 'f', 2);
}

void ProvisionStation::reapFinished()
{
    std::erase_if(m_inHand, [](const auto& entry) { return entry.second.done(); });
}

QString ProvisionStation::summary() const
{
    return QStringLiteral("%1 configured, %2 unchanged, %3 no adapter, %4 failed")
        .arg(m_counts.configured)
        .arg(m_counts.unchanged)
        .arg(m_counts.noAdapter)
        .arg(m_counts.failed);
}

void ProvisionStation::print(std::FILE* stream, const QString& text) const
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace qm240lx
