#include "support/TestPort.h"

#include "link/PortChoice.h"
#include "naming/ComMap.h"
#include "support/Bytes.h"

namespace qm240lx::test {

namespace {

constexpr const char* portVariable = "QM240LX_TEST_PORT";
constexpr const char* flashVariable = "QM240LX_TEST_FLASH";

} // namespace

std::vector<TestPort::Kind> TestPort::kinds()
{
    if (qEnvironmentVariableIsEmpty(portVariable))
        return {Kind::Emulator, Kind::EmulatorAtLineSpeed};
    return {Kind::Emulator, Kind::EmulatorAtLineSpeed, Kind::RealAdapter};
}

std::string TestPort::name(Kind kind)
{
    return kind == Kind::Emulator              ? "Emulator"
           : kind == Kind::EmulatorAtLineSpeed ? "EmulatorAtLineSpeed"
                                               : "RealAdapter";
}

TestPort::TestPort(Kind kind) : m_kind(kind)
{
    if (kind == Kind::Emulator)
        startEmulator({});
    else if (kind == Kind::EmulatorAtLineSpeed)
        startEmulator({"--pace", "9600", "--extra", "2", "--extra-byte", "0x55,0xFA", "--extra-ops",
                       "aa,ab,ac,ae,af"});
    else
        findRealAdapter();
}

QByteArray TestPort::comparable(const QByteArray& received) const
{
    return m_kind == Kind::EmulatorAtLineSpeed ? withoutRepeatedReads(received) : received;
}

void TestPort::startEmulator(const QStringList& arguments)
{
    m_emulator = std::make_unique<SimProcess>();
    if (m_emulator->start(arguments))
        m_devicePath = m_emulator->devicePath();
    else
        m_problem = m_emulator->errorString();
}

void TestPort::findRealAdapter()
{
    const QString port = qEnvironmentVariable(portVariable);
    m_maySaveToFlash = qEnvironmentVariable(flashVariable) == QLatin1String("1");
    const std::optional<PortChoice> choice = PortChoice::parse(port);
    if (!choice) {
        m_problem =
            QStringLiteral("%1=%2: expected %3")
                .arg(QLatin1String(portVariable), port, QLatin1String(PortChoice::accepted));
        return;
    }
    m_devicePath = choice->com ? comDevice(*choice->com).value_or(QString()) : choice->devicePath;
    if (m_devicePath.isEmpty())
        m_problem =
            QStringLiteral("%1=%2 stands for no device").arg(QLatin1String(portVariable), port);
}

} // namespace qm240lx::test
