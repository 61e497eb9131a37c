#pragma once

#include "support/SimProcess.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QString>

namespace qm240lx::test {

// The adapter an end-to-end case talks to: an emulator started for the case,
// at memory speed or on a line paced at 9600 baud with stray bytes after its
// answers (but the read-back's, which would leave nothing to trust), or the
// real adapter on the port QM240LX_TEST_PORT names (a COM number or a
// device path), the way Qt's own serial port tests take their ports from the
// environment. A case that changes the configuration puts it back; it saves
// into a real adapter's flash only when QM240LX_TEST_FLASH=1.
class TestPort
{
public:
    enum class Kind
    {
        Emulator,
        EmulatorAtLineSpeed,
        RealAdapter,
    };

    // The emulators, and the real adapter too when QM240LX_TEST_PORT is set.
    static std::vector<Kind> kinds();
    static std::string name(Kind kind); // for test names
    friend void PrintTo(Kind kind, std::ostream* out) { *out << name(kind); }

    explicit TestPort(Kind kind);

    // Empty when the adapter is there to talk to; otherwise why it is not.
    QString problem() const { return m_problem; }
    QString devicePath() const { return m_devicePath; }
    bool maySaveToFlash() const { return m_maySaveToFlash; }

    // The emulator, whose trace shows every byte on the line; nullptr for a
    // real adapter.
    const SimProcess* emulator() const { return m_emulator.get(); }

    // The emulator's received bytes as a case compares them. At line speed a
    // loaded machine can hold the stray bytes after an answer back past the
    // quiet gap; the tool then finds the read-back's reply suspect and reads
    // again, as it should. Such a repeated read is left out.
    QByteArray comparable(const QByteArray& received) const;

private:
    void startEmulator(const QStringList& arguments);
    void findRealAdapter();

    Kind m_kind;
    std::unique_ptr<SimProcess> m_emulator;
    QString m_devicePath;
    QString m_problem;
    bool m_maySaveToFlash = true;
};

} // namespace qm240lx::test
