#pragma once

#include "async/Task.h"
#include "async/Wakeup.h"
#include "cli/CommandResult.h"
#include "cli/DeviceWatch.h"
#include "cli/Interruption.h"
#include "cli/PortApply.h"
#include "cli/ProvisionLog.h"
#include "cli/TraceLog.h"
#include "link/PortOptions.h"
#include "settings/FieldChanges.h"

#include <cstdio>
#include <map>
#include <optional>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QStringList>

namespace qm240lx {

// A provisioning station: every serial device that appears is detected,
// given the profile, saved with --save, read back and checked, and reported
// in a line and in the log; devices that appear together are handled at the
// same time on this thread. It runs until stop(), then finishes the devices
// in hand; an interruption abandons them.
class ProvisionStation
{
public:
    struct Plan
    {
        FieldChanges changes;
        bool save = false;
        bool present = false; // also the devices present at the start
        QStringList patterns;
        bool json = false;
    };

    ProvisionStation(Plan plan, PortOptions options, std::optional<ProvisionLog> log,
                     std::FILE* out, std::FILE* err, TraceLog* trace, Interruption& interruption);

    // The summary once stopped, and how the station ends: 0 when no adapter
    // failed, 1 when one did.
    Task<CommandResult> run();

    // Takes no more devices; those in hand are finished.
    void stop();

private:
    struct Counts
    {
        int configured = 0;
        int unchanged = 0;
        int noAdapter = 0;
        int failed = 0;
    };

    void take(const QString& device);
    Task<> handle(QString device, int number);
    QJsonObject record(const QString& device, const PortApply::Outcome& outcome,
                       double seconds) const;
    QString line(int number, const QJsonObject& record, const PortApply::Outcome& outcome) const;
    void count(const PortApply::Outcome& outcome);
    void reapFinished();
    QString summary() const;
    void print(std::FILE* stream, const QString& text) const;

    Plan m_plan;
    PortOptions m_options;
    std::optional<ProvisionLog> m_log;
    std::FILE* m_out;
    std::FILE* m_err;
    TraceLog* m_trace;
    Interruption& m_interruption;
    DeviceWatch m_watch;
    Wakeup m_news;
    std::map<int, Task<>> m_inHand;
    int m_taken = 0;
    Counts m_counts;
    bool m_stopping = false;
    std::optional<CliExit> m_logFailure;
    std::optional<CliExit> m_watchFailure;
};

} // namespace qm240lx
