#include "async/EpollDispatcher.h"
#include "cli/CliApp.h"

#include <cstdio>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // A command may watch thousands of ports; without epoll, Qt's own loop
    // serves it, only slower.
    if (std::unique_ptr<qm240lx::EpollDispatcher> dispatcher = qm240lx::EpollDispatcher::create())
        QCoreApplication::setEventDispatcher(dispatcher.release()); // Qt owns it from here
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qm240lx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));
    return qm240lx::CliApp(stdout, stderr).run(QCoreApplication::arguments());
}
