#include "cli/CliOptions.h"

#include "cli/PortList.h"
#include "settings/SettingElements.h"
#include "settings/SettingText.h"

#include <algorithm>
#include <array>
#include <optional>

#include <QCommandLineParser>
#include <QSet>

namespace qm240lx {
namespace {

const QString usageLine =
    QStringLiteral("Usage: qm240lx [--port PORT] [--json] [--trace] COMMAND [OPTIONS]\n"
                   "       qm240lx [--port PORT]... [--json] [--trace] detect|read|save [--all]\n"
                   "       qm240lx [--port PORT]... [--json] [--trace] apply PROFILE [--save] "
                   "[--check] [--all]\n"
                   "       qm240lx [--json] [--trace] provision PROFILE [--save] [--log FILE] "
                   "[--watch PATTERN]... [--present]");

const QString description = QStringLiteral(
    "Detects, reads and configures a Velorin QM240LX infrared adapter on a serial port.\n"
    "\n"
    "Commands:\n"
    "  detect  Probe the adapter; succeeds when it answers ready.\n"
    "  read    Print the adapter's configuration.\n"
    "          Given several --port, or --all (every port where an adapter answers),\n"
    "          detect, read and save run on all at the same time, a line each.\n"
    "  set     Change the named settings (--baud ... --protocol) and keep the\n"
    "          others; with --save, also save the configuration into flash.\n"
    "  save    Save the adapter's current configuration into its flash memory.\n"
    "  scan    Probe every serial port at once and list those with an adapter.\n"
    "  apply   Apply the settings of a JSON profile (as read --json prints it; - for\n"
    "          standard input) to the adapter on each --port, or with --all on every\n"
    "          port where one answers, all at the same time; --save saves each into\n"
    "          flash, --check only compares.\n"
    "  provision  Run until stopped, giving each serial device that appears (by\n"
    "          default /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/*) the profile:\n"
    "          detect, apply, save with --save, read back, one line and log record\n"
    "          each. Ctrl-C finishes the adapters in hand; a second one abandons them.\n"
    "\n"
    "PORT is a COM number (1, COM1, com1; default COM1), a device path, or a\n"
    "serial device server's port: rfc2217://HOST:PORT or tcp://HOST:PORT, or the\n"
    "same inside TLS: rfc2217+tls://HOST:PORT or tcp+tls://HOST:PORT.\n"
    "COM 1-32 are /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31;\n"
    "QM240LX_COM<n>=DEVICE in the environment maps COM n to DEVICE. --port @FILE\n"
    "takes the ports FILE lists, one a line (# starts a comment); @- reads them\n"
    "from standard input. QM240LX_TLS_CA, QM240LX_TLS_CERT and QM240LX_TLS_KEY\n"
    "stand for --tls-ca, --tls-cert and --tls-key.");

const QString exitCodes =
    QStringLiteral("Exit codes:\n"
                   "  0   success\n"
                   "  1   apply --check: an adapter's configuration differs from the profile;\n"
                   "      provision: an adapter failed\n"
                   "  64  usage error (for example a port outside 1 to 255)\n"
                   "  65  the profile is not valid: not JSON, an unknown key, a wrong value\n"
                   "  66  the profile, or a file of ports (--port @FILE), cannot be read\n"
                   "  69  no adapter detected (silence, or a wrong answer to the probe; for scan:\n"
                   "      no adapter on any port)\n"
                   "  71  more ports named than the open-file limit allows (ulimit -Hn)\n"
                   "  73  provision: the log cannot be opened or written\n"
                   "  74  input/output error: the port cannot be opened, or was lost\n"
                   "  75  the port is busy: another program holds it\n"
                   "  76  the adapter rejected a byte three times, did not confirm it, or did not\n"
                   "      send its configuration\n"
                   "  77  permission denied (join the dialout group), a stale lock file of\n"
                   "      another user's that only that user or root may remove, or a TLS key\n"
                   "      that others can read or that is protected by a passphrase\n"
                   "  78  a TLS certificate or key that cannot be read or parsed, or a key that\n"
                   "      does not belong to its certificate\n"
                   "  128+n  ended by signal n: 130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP\n"
                   "With many ports, the code is that of the first port in COM order that\n"
                   "failed.\n");

struct Declared
{
    const char* name;
    const char* help;
    const char* valueName; // nullptr for a switch
};

// Before the settings in --help.
constexpr std::array declaredOptions{
    Declared{"port",
             "Serial port: COM number, device path or network port (default COM1); detect, "
             "read, save and apply take it repeated, and @FILE (@- for standard input) for the "
             "ports a file lists, one a line.",
             "PORT"},
    Declared{"json", "Print the result as one JSON object.", nullptr},
    Declared{"trace", "Log every byte written and read, with the time, on standard error.",
             nullptr},
    Declared{"tls-ca",
             "TLS ports: trust only the certificates of this PEM file instead of the system's.",
             "FILE"},
    Declared{"tls-cert", "TLS ports: the client certificate (PEM) for servers that demand one.",
             "FILE"},
    Declared{"tls-key", "TLS ports: the private key (PEM, mode 600, no passphrase) of --tls-cert.",
             "FILE"},
};

// After the settings.
constexpr std::array commandOptions{
    Declared{"save", "set, apply, provision: save the configuration into flash at the end.",
             nullptr},
    Declared{"check", "apply: only compare each adapter with the profile.", nullptr},
    Declared{"all", "detect, read, apply: every port where an adapter answers the probe.", nullptr},
    Declared{"only-overrides",
             "scan, detect, read, apply with --all: probe only the ports named by "
             "QM240LX_COM<n>.",
             nullptr},
    Declared{"log", "provision: append a JSON record of each adapter to FILE.", "FILE"},
    Declared{"watch",
             "provision: watch for devices matching PATTERN (a glob such as /dev/ttyUSB*); "
             "repeated for more.",
             "PATTERN"},
    Declared{"present", "provision: also the devices present at the start.", nullptr},
};

// What provision watches when no --watch is given.
const QStringList defaultWatch{QStringLiteral("/dev/ttyUSB*"), QStringLiteral("/dev/ttyACM*"),
                               QStringLiteral("/dev/serial/by-id/*")};

struct NamedCommand
{
    const char* name;
    CliCommand command;
};

constexpr std::array commands{
    NamedCommand{"detect", CliCommand::Detect},
    NamedCommand{"read", CliCommand::Read},
    NamedCommand{"set", CliCommand::Set},
    NamedCommand{"save", CliCommand::Save},
    NamedCommand{"scan", CliCommand::Scan},
    NamedCommand{"apply", CliCommand::Apply},
    NamedCommand{"provision", CliCommand::Provision},
};

CliExit usageError(const QString& message)
{
    return CliExit{ExitCode::Usage, message};
}

QString option(const char* name)
{
    return QString::fromLatin1(name);
}

QCommandLineOption optionOf(const Declared& declared)
{
    const QString help = QString::fromLatin1(declared.help);
    if (!declared.valueName)
        return QCommandLineOption(option(declared.name), help);
    return QCommandLineOption(option(declared.name), help, QString::fromLatin1(declared.valueName));
}

// The values a setting can be given: "1 or 6".
QString valuesOf(const Setting& setting)
{
    return settingText::oneOf(settingText::names(setting));
}

// "set: discovery slots, 1 or 6."
QString settingHelp(const Setting& setting)
{
    QString what = QString::fromLatin1(setting.label);
    what[0] = what[0].toLower();
    return QStringLiteral("set: %1, %2.").arg(what, valuesOf(setting));
}

void declare(QCommandLineParser& parser)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("detect, read, set, save, scan, apply, provision."));
    for (const Declared& declared : declaredOptions)
        parser.addOption(optionOf(declared));
    for (const Setting& setting : settingTable)
        parser.addOption(QCommandLineOption(option(setting.option), settingHelp(setting),
                                            QString::fromLatin1(setting.valueName)));
    for (const Declared& declared : commandOptions)
        parser.addOption(optionOf(declared));
}

std::optional<CliCommand> commandNamed(const QString& name)
{
    for (const NamedCommand& named : commands) {
        if (name == QLatin1String(named.name))
            return named.command;
    }
    return std::nullopt;
}

QString invalidValue(const QCommandLineParser& parser, const char* name, const QString& expected)
{
    return QStringLiteral("--%1 %2: expected %3")
        .arg(option(name), parser.value(option(name)), expected);
}

// The element a value named on the command line stands for: numbers by their
// value, names whatever their case.
std::optional<int> elementNamed(const Setting& setting, const QString& text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber, 10);
    for (const int element : settingText::sendable(setting)) {
        const QString name = settingText::name(setting, element);
        const bool same = setting.kind == ValueKind::Number
                              ? isNumber && name.toInt() == number
                              : text.compare(name, Qt::CaseInsensitive) == 0;
        if (same)
            return element;
    }
    return std::nullopt;
}

std::optional<CliExit> readChanges(const QCommandLineParser& parser, FieldChanges& changes)
{
    SettingElements elements;
    for (std::size_t index = 0; index < settingCount; ++index) {
        const Setting& setting = settingTable[index];
        if (!parser.isSet(option(setting.option)))
            continue;
        elements[index] = elementNamed(setting, parser.value(option(setting.option)));
        if (!elements[index])
            return usageError(invalidValue(parser, setting.option, valuesOf(setting)));
    }
    changes = changesFrom(elements);
    return std::nullopt;
}

// "--baud, --ignore-cts, ... or --protocol"
QString settingOptions()
{
    QStringList options;
    for (const Setting& setting : settingTable)
        options << QStringLiteral("--") + option(setting.option);
    return settingText::oneOf(options);
}

constexpr std::array<const char*, settingCount> settingOptionNames()
{
    std::array<const char*, settingCount> names{};
    for (std::size_t index = 0; index < settingCount; ++index)
        names[index] = settingTable[index].option;
    return names;
}

template <typename Names>
std::optional<CliExit> checkBelongs(const QCommandLineParser& parser, const Names& names,
                                    const char* commands)
{
    for (const char* name : names) {
        if (parser.isSet(option(name)))
            return usageError(QStringLiteral("--%1 belongs to the %2")
                                  .arg(option(name), QString::fromLatin1(commands)));
    }
    return std::nullopt;
}

bool takesAll(CliCommand command)
{
    return command == CliCommand::Detect || command == CliCommand::Read ||
           command == CliCommand::Apply;
}

std::optional<CliExit> checkPortsFit(const QCommandLineParser& parser, CliCommand command)
{
    const bool all = parser.isSet(QStringLiteral("all"));
    if (!takesAll(command) && all)
        return usageError(QStringLiteral("--all belongs to the detect, read and apply commands"));
    if (all && parser.isSet(QStringLiteral("port")))
        return usageError(QStringLiteral("--all probes every port: it does not go with --port"));
    if (!all && command != CliCommand::Scan && parser.isSet(QStringLiteral("only-overrides")))
        return usageError(QStringLiteral("--only-overrides belongs to the scan command and to "
                                         "--all"));
    return std::nullopt;
}

std::optional<CliExit> checkOptionsFit(const QCommandLineParser& parser, CliCommand command)
{
    if (command != CliCommand::Set) {
        if (auto misfit = checkBelongs(parser, settingOptionNames(), "set command"))
            return misfit;
    }
    if (command != CliCommand::Set && command != CliCommand::Apply &&
        command != CliCommand::Provision) {
        if (auto misfit =
                checkBelongs(parser, std::array{"save"}, "set, apply and provision commands"))
            return misfit;
    }
    if (command != CliCommand::Provision) {
        if (auto misfit =
                checkBelongs(parser, std::array{"log", "watch", "present"}, "provision command"))
            return misfit;
    } else if (parser.isSet(QStringLiteral("port"))) {
        return usageError(QStringLiteral("provision watches for devices: it takes --watch, not "
                                         "--port"));
    }
    if (command != CliCommand::Apply) {
        if (auto misfit = checkBelongs(parser, std::array{"check"}, "apply command"))
            return misfit;
    }
    if (parser.isSet(QStringLiteral("check")) && parser.isSet(QStringLiteral("save")))
        return usageError(QStringLiteral("--check compares only: it does not go with --save"));
    return checkPortsFit(parser, command);
}

std::variant<CliCommand, CliExit> readCommand(const QCommandLineParser& parser)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(
            QStringLiteral("no command given: detect, read, set, save, scan, apply or provision"));
    const std::optional<CliCommand> command = commandNamed(positional.first());
    if (!command)
        return usageError(QStringLiteral("unknown command '%1': expected detect, read, set, "
                                         "save, scan, apply or provision")
                              .arg(positional.first()));
    const bool takesProfile = *command == CliCommand::Apply || *command == CliCommand::Provision;
    const qsizetype arguments = takesProfile ? 2 : 1;
    if (positional.size() < arguments)
        return usageError(QStringLiteral("%1 needs a profile: a JSON file, or - for standard "
                                         "input")
                              .arg(positional.first()));
    if (positional.size() > arguments)
        return usageError(QStringLiteral("unexpected argument '%1'").arg(positional.at(arguments)));
    return *command;
}

// Every port --port names, an inventory's in its place, each once, in the
// order given.
std::variant<QList<PortChoice>, CliExit> readPorts(const QCommandLineParser& parser)
{
    QList<PortChoice> ports;
    QSet<PortChoice> taken; // an inventory may name thousands
    const auto take = [&ports, &taken](const PortChoice& port) {
        if (!taken.contains(port)) {
            taken.insert(port);
            ports.append(port);
        }
    };
    for (const QString& value : parser.values(QStringLiteral("port"))) {
        if (value.startsWith(QLatin1Char('@'))) {
            const auto listed = PortList::read(value);
            if (const CliExit* exit = std::get_if<CliExit>(&listed))
                return *exit;
            std::ranges::for_each(std::get<QList<PortChoice>>(listed), take);
            continue;
        }
        const std::optional<PortChoice> port = PortChoice::parse(value);
        if (!port)
            return usageError(QStringLiteral("--port %1: expected %2")
                                  .arg(value, QString::fromLatin1(PortChoice::expectedFor(value))));
        take(*port);
    }
    if (parser.isSet(QStringLiteral("port")) && ports.isEmpty())
        return usageError(QStringLiteral("--port: the inventory names no port"));
    if (ports.isEmpty() && !parser.isSet(QStringLiteral("all")))
        ports.append(PortChoice::comPort(1));
    return ports;
}

// A station watches local devices only: a pattern is an absolute path.
std::variant<CliOptions, CliExit> provisionOptions(const QCommandLineParser& parser,
                                                   CliOptions options)
{
    options.profile = parser.positionalArguments().at(1);
    options.log = parser.value(QStringLiteral("log"));
    options.present = parser.isSet(QStringLiteral("present"));
    options.watch = parser.values(QStringLiteral("watch"));
    for (const QString& pattern : options.watch) {
        if (!pattern.startsWith(QLatin1Char('/')) || pattern.contains(QLatin1String("://")))
            return usageError(QStringLiteral("--watch %1: expected the absolute path of local "
                                             "devices, such as /dev/ttyUSB*")
                                  .arg(pattern));
    }
    if (options.watch.isEmpty())
        options.watch = defaultWatch;
    options.watch.removeDuplicates();
    options.ports.clear();
    return options;
}

std::variant<CliOptions, CliExit> readOptions(const QCommandLineParser& parser)
{
    const auto command = readCommand(parser);
    if (const CliExit* exit = std::get_if<CliExit>(&command))
        return *exit;
    CliOptions options;
    options.command = std::get<CliCommand>(command);
    options.json = parser.isSet(QStringLiteral("json"));
    options.trace = parser.isSet(QStringLiteral("trace"));
    options.save = parser.isSet(QStringLiteral("save"));
    options.onlyOverrides = parser.isSet(QStringLiteral("only-overrides"));
    options.check = parser.isSet(QStringLiteral("check"));
    options.all = parser.isSet(QStringLiteral("all"));
    options.tls = {parser.value(QStringLiteral("tls-ca")), parser.value(QStringLiteral("tls-cert")),
                   parser.value(QStringLiteral("tls-key"))};
    if (std::optional<CliExit> misfit = checkOptionsFit(parser, options.command))
        return *misfit;
    if (options.command == CliCommand::Provision)
        return provisionOptions(parser, std::move(options));
    if (options.command == CliCommand::Apply) {
        options.profile = parser.positionalArguments().at(1);
        if (options.profile == QLatin1String("-") &&
            parser.values(QStringLiteral("port")).contains(QStringLiteral("@-")))
            return usageError(QStringLiteral("the profile and the ports cannot both come from "
                                             "standard input"));
    }
    const auto ports = readPorts(parser);
    if (const CliExit* exit = std::get_if<CliExit>(&ports))
        return *exit;
    options.ports = std::get<QList<PortChoice>>(ports);
    if ((options.command == CliCommand::Set || options.command == CliCommand::Scan) &&
        options.ports.size() > 1)
        return usageError(QStringLiteral("only detect, read, save and apply take more than one "
                                         "--port"));
    options.port = options.ports.value(0, options.port);
    if (std::optional<CliExit> invalid = readChanges(parser, options.changes))
        return *invalid;
    if (options.command == CliCommand::Set && options.changes.isEmpty())
        return usageError(
            QStringLiteral("set needs at least one setting: %1").arg(settingOptions()));
    return options;
}

} // namespace

std::variant<CliOptions, CliExit> CliOptions::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    declare(parser);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return CliExit{ExitCode::Success, helpText()};
    if (parser.isSet(QStringLiteral("version")))
        return CliExit{ExitCode::Success, QStringLiteral("qm240lx %1\n").arg(QM240LX_VERSION)};
    return readOptions(parser);
}

// QCommandLineParser names the program by the path it was started with; the
// usage line is ours instead.
QString CliOptions::helpText()
{
    QCommandLineParser parser;
    declare(parser);
    QString text = parser.helpText();
    text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
    return usageLine + QLatin1Char('\n') + text + QLatin1Char('\n') + exitCodes;
}

} // namespace qm240lx
