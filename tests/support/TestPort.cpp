#include "support/TestPort.h"

#include "link/PortChoice.h"
#include "naming/ComMap.h"

namespace qm240lx::test {

namespace {

constexpr const char* portVariable = "QM240LX_TEST_PORT";
constexpr const char* flashVariable = "QM240LX_TEST_FLASH";

} // namespace

std::vector<TestPort::Kind> TestPort::kinds()
{
    if (qEnvironmentVariableIsEmpty(portVariable))
        return {Kind::Emulator};
    return {Kind::Emulator, Kind::RealAdapter};
}

std::string TestPort::name(Kind kind)
{
    return kind == Kind::Emulator ? "Emulator" : "RealAdapter";
}

TestPort::TestPort(Kind kind)
{
    if (kind == Kind::Emulator)
        startEmulator();
    else
        findRealAdapter();
}

void TestPort::startEmulator()
{
    m_emulator = std::make_unique<SimProcess>();
    if (m_emulator->start())
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
