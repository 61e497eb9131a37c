#include "app/AppStyle.h"
#include "app/Frm_Dorvex.h"
#include "app/QtErrorBox.h"
#include "link/QtEventPump.h"
#include "link/QtSerialComm.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>

namespace {

struct Screenshot
{
    QString file;
    int delayMs = 1000;
};

// --version and --help must work where no display is, so they are answered
// before the application connects to one.
bool answeredWithoutDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("qm240lx-setup %s\n", QM240LX_VERSION);
            return true;
        }
    }
    return false;
}

std::optional<Screenshot> parseScreenshot(const QApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Communication Setting for VEL-QM240LX: detects the adapter on COM1, "
                       "shows its configuration and sends new settings."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and quit."),
                                        QStringLiteral("file"));
    const QCommandLineOption delay(QStringLiteral("screenshot-delay"),
                                   QStringLiteral("Milliseconds before the picture is taken."),
                                   QStringLiteral("ms"), QStringLiteral("1000"));
    parser.addOptions({screenshot, delay});
    parser.addHelpOption();
    parser.process(app);
    if (!parser.isSet(screenshot))
        return std::nullopt;
    return Screenshot{parser.value(screenshot), parser.value(delay).toInt()};
}

void takeScreenshotLater(QWidget& window, const Screenshot& screenshot)
{
    QTimer::singleShot(screenshot.delayMs, &window, [&window, file = screenshot.file] {
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
    if (answeredWithoutDisplay(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qm240lx-setup"));
    QApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));
    qm240lx::applyApplicationStyle(app);
    const std::optional<Screenshot> screenshot = parseScreenshot(app);

    qm240lx::QtSerialComm comm;
    qm240lx::QtEventPump pump;
    qm240lx::QtErrorBox errorBox;
    qm240lx::Frm_Dorvex window({comm, pump, qm240lx::systemTick, errorBox});
    window.show();
    // The window shows first; the port is opened and probed from the event loop.
    QTimer::singleShot(0, &window, &qm240lx::Frm_Dorvex::Form_Load);
    if (screenshot)
        takeScreenshotLater(window, *screenshot);
    return QApplication::exec();
}
