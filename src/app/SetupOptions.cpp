#include "app/SetupOptions.h"

#include <algorithm>

#include <QCommandLineParser>

namespace qm240lx {
namespace {

const QString usageLine = QStringLiteral(
    "Usage: qm240lx-setup [--port PORT] [--tls-ca FILE] [--tls-cert FILE --tls-key FILE]\n"
    "                     [--screenshot FILE [--screenshot-delay MS]]");

const QString description =
    QStringLiteral("Communication Setting for VEL-QM240LX: detects the adapter on COM1, or on the\n"
                   "port --port names, shows its configuration and sends new settings.\n"
                   "\n"
                   "PORT is a COM number (1, COM1, com1; default COM1), a device path, or a\n"
                   "serial device server's port: rfc2217://HOST:PORT or tcp://HOST:PORT, or\n"
                   "the same inside TLS: rfc2217+tls://HOST:PORT or tcp+tls://HOST:PORT.\n"
                   "COM 1-32 are /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31;\n"
                   "QM240LX_COM<n>=DEVICE in the environment maps COM n to DEVICE. A device path\n"
                   "outside this map is given the first free COM number (97 unless taken).\n"
                   "QM240LX_TLS_CA, QM240LX_TLS_CERT and QM240LX_TLS_KEY stand for --tls-ca,\n"
                   "--tls-cert and --tls-key.");

QCommandLineOption qtOption(const QString& name)
{
    QCommandLineOption option(name, QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

void declare(QCommandLineParser& parser)
{
    parser.setApplicationDescription(description);
    // Qt's own options are single-dash words.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"),
         QStringLiteral(
             "Serial port to start on: COM number, device path or network port (default COM1)."),
         QStringLiteral("PORT")},
        {QStringLiteral("tls-ca"),
         QStringLiteral("TLS ports: trust only the certificates of this PEM file instead of the "
                        "system's."),
         QStringLiteral("FILE")},
        {QStringLiteral("tls-cert"),
         QStringLiteral("TLS ports: the client certificate (PEM) for servers that demand one."),
         QStringLiteral("FILE")},
        {QStringLiteral("tls-key"),
         QStringLiteral("TLS ports: the private key (PEM, mode 600, no passphrase) of --tls-cert."),
         QStringLiteral("FILE")},
        {QStringLiteral("screenshot"), QStringLiteral("Save a picture of the window and quit."),
         QStringLiteral("file")},
        {QStringLiteral("screenshot-delay"),
         QStringLiteral("Milliseconds before the picture is taken."), QStringLiteral("ms"),
         QStringLiteral("1000")},
    });
    // Read by Qt before the window exists; known here so that they are no
    // usage error where no display lets Qt start.
    parser.addOption(qtOption(QStringLiteral("platform")));
    parser.addOption(qtOption(QStringLiteral("display")));
}

// "xcb", "wayland-egl", "wayland;xcb", "xcb:dpi=96": every choice is a
// display server's.
bool namesOnlyDisplayServers(const QString& platform)
{
    const QStringList choices = platform.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return std::all_of(choices.begin(), choices.end(), [](const QString& choice) {
        const QString name = choice.section(QLatin1Char(':'), 0, 0).trimmed();
        return name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
    });
}

// The arguments less the options named `names` ("-style", "--reverse=x").
QStringList without(const QStringList& arguments, const QStringList& names)
{
    QStringList kept;
    for (const QString& argument : arguments) {
        QString name = argument.section(QLatin1Char('='), 0, 0);
        name.remove(0, name.startsWith(QLatin1String("--")) ? 2 : 1);
        if (!argument.startsWith(QLatin1Char('-')) || !names.contains(name))
            kept.append(argument);
    }
    return kept;
}

bool isSet(const EnvLookup& env, const char* name)
{
    return !env(QString::fromLatin1(name)).value_or(QString()).isEmpty();
}

} // namespace

std::variant<SetupOptions, SetupExit> SetupOptions::parse(const QStringList& arguments,
                                                          QtOptions qtOptions)
{
    QCommandLineParser parser;
    declare(parser);
    bool parsed = parser.parse(arguments);
    if (!parsed && qtOptions == QtOptions::Present && !parser.unknownOptionNames().isEmpty())
        parsed = parser.parse(without(arguments, parser.unknownOptionNames()));
    if (!parsed)
        return SetupExit::usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return SetupExit{0, helpText()};
    if (parser.isSet(QStringLiteral("version")))
        return SetupExit{0, QStringLiteral("qm240lx-setup %1\n").arg(QM240LX_VERSION)};
    if (qtOptions == QtOptions::Removed && !parser.positionalArguments().isEmpty())
        return SetupExit::usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    SetupOptions options;
    if (parser.isSet(QStringLiteral("port"))) {
        const QString value = parser.value(QStringLiteral("port"));
        options.port = PortChoice::parse(value);
        if (!options.port)
            return SetupExit::usageError(
                QStringLiteral("--port %1: expected %2")
                    .arg(value, QLatin1String(PortChoice::expectedFor(value))));
    }
    options.tls = {parser.value(QStringLiteral("tls-ca")), parser.value(QStringLiteral("tls-cert")),
                   parser.value(QStringLiteral("tls-key"))};
    if (parser.isSet(QStringLiteral("screenshot")))
        options.screenshot = parser.value(QStringLiteral("screenshot"));
    options.screenshotDelayMs = parser.value(QStringLiteral("screenshot-delay")).toInt();
    options.platform = parser.value(QStringLiteral("platform"));
    options.display = parser.value(QStringLiteral("display"));
    return options;
}

// QCommandLineParser names the program by the path it was started with, or
// not at all before Qt starts; the usage line is ours instead.
QString SetupOptions::helpText()
{
    QCommandLineParser parser;
    declare(parser);
    const QString text = parser.helpText();
    return usageLine + text.mid(text.indexOf(QLatin1Char('\n')));
}

bool SetupOptions::displayMissing(const EnvLookup& env) const
{
    const QString chosen =
        platform.isEmpty() ? env(QStringLiteral("QT_QPA_PLATFORM")).value_or(QString()) : platform;
    if (!namesOnlyDisplayServers(chosen))
        return false;
    return display.isEmpty() && !isSet(env, "DISPLAY") && !isSet(env, "WAYLAND_DISPLAY");
}

} // namespace qm240lx
