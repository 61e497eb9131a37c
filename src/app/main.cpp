#include "app/AppStyle.h"
#include "app/Frm_Dorvex.h"
#include "app/GuiStart.h"
#include "app/QtErrorBox.h"
#include "app/SetupOptions.h"
#include "app/StartPort.h"
#include "async/QtAlarm.h"
#include "async/TerminationSignals.h"
#include "link/ComPorts.h"
#include "tls/TlsCredentials.h"

#include <cstdio>
#include <optional>
#include <variant>

#include <QApplication>
#include <QPixmap>

namespace {

using qm240lx::SetupExit;
using qm240lx::SetupOptions;
using qm240lx::TlsFiles;

QStringList commandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int finish(const SetupExit& exit)
{
    std::fputs(qPrintable(exit.text), exit.isError() ? stderr : stdout);
    return exit.code;
}

TlsFiles tlsFiles(const SetupOptions& options)
{
    return options.tls.withEnvironment(qm240lx::processEnvironment);
}

// Help, version, usage errors, TLS files that cannot be used and a missing display are answered
// before Qt starts, as Qt aborts where it finds no display. Nullopt: start the window.
std::optional<int> answerWithoutWindow(int argc, char** argv)
{
    const auto parsed =
        SetupOptions::parse(commandLine(argc, argv), SetupOptions::QtOptions::Present);
    if (const SetupExit* exit = std::get_if<SetupExit>(&parsed))
        return finish(*exit);
    const SetupOptions& options = std::get<SetupOptions>(parsed);
    if (const auto refused = qm240lx::TlsCredentials::check(tlsFiles(options)))
        return finish(SetupExit::tlsRefused(*refused));
    if (options.displayMissing(qm240lx::processEnvironment))
        return finish(SetupExit::noDisplay());
    return std::nullopt;
}

void takeScreenshotLater(QWidget& window, const QString& file, int delayMs, qm240lx::Alarm& alarm)
{
    alarm.set(static_cast<qm240lx::Tick>(delayMs), [&window, file] {
        const bool saved = window.grab().save(file);
        if (!saved)
            std::fprintf(stderr, "qm240lx-setup: cannot write %s\n", qPrintable(file));
        window.close();
        // Also ends an error box's loop that may be open at this moment.
        QApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = answerWithoutWindow(argc, argv))
        return *status;
    const auto app = qm240lx::startApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qm240lx-setup"));
    QApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));
    // Wayland matches the window to its desktop file (and icon) by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.example.qm240lx_setup"));
    qm240lx::applyApplicationStyle(*app);
    // Again without the options Qt has taken.
    const auto parsed = SetupOptions::parse(QApplication::arguments());
    if (const SetupExit* exit = std::get_if<SetupExit>(&parsed))
        return finish(*exit);
    const SetupOptions& options = std::get<SetupOptions>(parsed);
    // Checked before Qt started, loaded now that it runs.
    qm240lx::PortOptions portOptions;
    if (const auto refused = qm240lx::loadTls(options.tls, portOptions))
        return finish(SetupExit::tlsRefused(*refused));
    const std::optional<int> startPort = qm240lx::bindStartPort(options.port);
    if (!startPort)
        return finish(
            SetupExit::usageError(QStringLiteral("--port %1: no free COM number is left for it")
                                      .arg(options.port->name())));

    qm240lx::QtAlarm portAlarm;
    qm240lx::ComPorts comPorts(qm240lx::PortMaker(portOptions, portAlarm, qm240lx::systemTick));
    qm240lx::QtAlarm alarm;
    qm240lx::QtErrorBox errorBox;
    qm240lx::Frm_Dorvex window({comPorts, alarm, qm240lx::systemTick, errorBox}, *startPort);
    // SIGINT, SIGTERM and SIGHUP close the window as its user would; exit()
    // also ends an error box's loop that may be open.
    qm240lx::TerminationSignals termination;
    QObject::connect(&termination, &qm240lx::TerminationSignals::caught, &window, [&] {
        window.close();
        QApplication::exit(termination.exitStatus(0));
    });
    window.show();
    // The window shows first; the port is opened and probed from the event loop.
    QMetaObject::invokeMethod(&window, &qm240lx::Frm_Dorvex::Form_Load, Qt::QueuedConnection);
    qm240lx::QtAlarm screenshotAlarm;
    if (options.screenshot)
        takeScreenshotLater(window, *options.screenshot, options.screenshotDelayMs,
                            screenshotAlarm);
    return termination.exitStatus(QApplication::exec());
}
