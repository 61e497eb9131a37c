#pragma once

#include "cli/CliCommand.h"
#include "cli/CliExit.h"
#include "link/PortChoice.h"
#include "settings/FieldChanges.h"
#include "tls/TlsFiles.h"

#include <variant>

#include <QList>
#include <QString>
#include <QStringList>

namespace qm240lx {

// The tool's command line:
//   qm240lx [--port PORT] [--json] [--trace] [--tls-ca FILE] [--tls-cert FILE
//           --tls-key FILE] COMMAND [OPTIONS]
struct CliOptions
{
    PortChoice port = PortChoice::comPort(1);
    bool json = false;
    bool trace = false;
    CliCommand command = CliCommand::Detect;
    FieldChanges changes;       // set
    bool save = false;          // set, apply
    bool onlyOverrides = false; // scan
    QList<PortChoice> ports;    // every --port, in the order given; port is the first
    QString profile;            // apply, provision: its path; "-" for standard input
    bool check = false;         // apply
    bool all = false;           // detect, read, apply
    QString log;                // provision: the record's file; empty for none
    QStringList watch;          // provision: the patterns of the devices watched
    bool present = false;       // provision
    TlsFiles tls;               // as given; the environment fills in the rest

    friend bool operator==(const CliOptions&, const CliOptions&) = default;

    // Parses a whole command line, program name first. Help, version and
    // usage errors come back as a CliExit.
    static std::variant<CliOptions, CliExit> parse(const QStringList& arguments);

    static QString helpText();
};

} // namespace qm240lx
