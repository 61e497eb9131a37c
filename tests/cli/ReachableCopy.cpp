#include "ReachableCopy.h"

#include <QFile>

namespace qm240lx::test {

namespace {

constexpr QFile::Permissions everyoneMayRun = QFile::ReadOwner | QFile::WriteOwner |
                                              QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                              QFile::ReadOther | QFile::ExeOther;

} // namespace

ReachableCopy::ReachableCopy()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no folder under /tmp: %1").arg(m_dir.errorString());
        return;
    }
    QFile original(QStringLiteral(QM240LX_CLI_PATH));
    if (!QFile::setPermissions(m_dir.path(), everyoneMayRun) || !original.copy(program()) ||
        !QFile::setPermissions(program(), everyoneMayRun))
        m_error = QStringLiteral("cannot copy %1 to %2: %3")
                      .arg(original.fileName(), program(), original.errorString());
}

QString ReachableCopy::program() const
{
    return m_dir.filePath(QStringLiteral("qm240lx"));
}

} // namespace qm240lx::test
