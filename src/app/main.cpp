#include "app/AppStyle.h"
#include "app/Frm_Dorvex.h"

#include <cstdio>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>

namespace {

constexpr int screenshotDelayMs = 1000;

std::optional<QString> screenshotFile(const QApplication& app)
{
    QCommandLineParser parser;
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and quit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.addVersionOption();
    parser.addHelpOption();
    parser.process(app);
    if (!parser.isSet(screenshot))
        return std::nullopt;
    return parser.value(screenshot);
}

void takeScreenshotLater(QWidget& window, const QString& file)
{
    QTimer::singleShot(screenshotDelayMs, &window, [&window, file] {
        const bool saved = window.grab().save(file);
        if (!saved)
            std::fprintf(stderr, "qm240lx-setup: cannot write %s\n", qPrintable(file));
        QApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qm240lx-setup"));
    QApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));
    qm240lx::applyApplicationStyle(app);
    const std::optional<QString> screenshot = screenshotFile(app);

    qm240lx::Frm_Dorvex window;
    window.show();
    if (screenshot)
        takeScreenshotLater(window, *screenshot);
    return QApplication::exec();
}
