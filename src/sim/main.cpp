#include "sim/Adapter.h"
#include "sim/Emulator.h"
#include "sim/FlashFile.h"
#include "sim/Notice.h"
#include "sim/Options.h"
#include "sim/PtyPort.h"
#include "sim/TerminationSignals.h"
#include "sim/Trace.h"

#include <cstdio>
#include <variant>

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace qm240lx::sim;

namespace {

// Powering on loads the configuration from flash; without a usable flash file
// the start bytes stand in for it.
Configuration powerOnConfiguration(const Options& options)
{
    if (!options.flashPath)
        return options.startBytes;
    const FlashFile::Loaded loaded = FlashFile(*options.flashPath).load();
    if (loaded.configuration)
        return *loaded.configuration;
    notice(loaded.problem + QStringLiteral(": starting from the start bytes"));
    return options.startBytes;
}

std::optional<FlashFile> flashFileOf(const Options& options)
{
    if (!options.flashPath)
        return std::nullopt;
    return FlashFile(*options.flashPath);
}

std::optional<PtyPort> openPort(const Options& options)
{
    QString error;
    std::optional<PtyPort> port = PtyPort::open(error);
    if (port && options.linkPath && !port->link(*options.linkPath, error))
        port.reset();
    if (!port)
        notice(error);
    return port;
}

} // namespace

int main(int argc, char** argv)
{
    TerminationSignals::block();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qm240lx-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));

    QCommandLineParser parser;
    Options::declare(parser);
    parser.process(app);
    const std::variant<Options, QString> parsed = Options::from(parser);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        notice(*error);
        return 1;
    }
    const Options& options = std::get<Options>(parsed);

    std::optional<PtyPort> port = openPort(options);
    if (!port)
        return 1;
    const QString slavePath = port->slavePath();
    TerminationSignals termination;
    Emulator emulator(std::move(*port), Adapter(powerOnConfiguration(options), options.faults),
                      flashFileOf(options), Trace(stderr, options.trace), options.paceBaud);
    QObject::connect(&termination, &TerminationSignals::received, &app,
                     [] { QCoreApplication::exit(0); });
    QObject::connect(&emulator, &Emulator::unplugged, &app, [] { QCoreApplication::exit(0); });

    std::printf("PTY %s\n", slavePath.toLocal8Bit().constData());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
