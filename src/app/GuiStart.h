#pragma once

#include <memory>

#include <QApplication>

namespace qm240lx {

// Starts Qt's GUI. A platform that cannot start (a display that does not
// answer, a missing plugin) ends the process with status 1 after Qt has said
// why, instead of the abort Qt ends it with.
std::unique_ptr<QApplication> startApplication(int& argc, char** argv);

} // namespace qm240lx
