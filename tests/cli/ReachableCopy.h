#pragma once

#include <QString>
#include <QTemporaryDir>

namespace qm240lx::test {

// The built qm240lx copied where every user may run it: a fresh folder of
// mode 755 under /tmp, removed with the copy. A run as another user needs
// it, since the build folder may lie where only its owner can enter.
class ReachableCopy
{
public:
    ReachableCopy();

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString program() const;

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/qm240lx-XXXXXX")};
    QString m_error;
};

} // namespace qm240lx::test
