#include "cli/CliApp.h"

#include <cstdio>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qm240lx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QM240LX_VERSION));
    return qm240lx::CliApp(stdout, stderr).run(QCoreApplication::arguments());
}
