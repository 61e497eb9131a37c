#include "app/GuiStart.h"

#include <cstdlib>

namespace qm240lx {
namespace {

QtMessageHandler previousHandler = nullptr;

void exitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    previousHandler(type, context, message);
    if (type == QtFatalMsg)
        std::_Exit(1);
}

} // namespace

std::unique_ptr<QApplication> startApplication(int& argc, char** argv)
{
    previousHandler = qInstallMessageHandler(exitOnFatal);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    return application;
}

} // namespace qm240lx
