// Feeds arbitrary bytes to the reader of --port @FILE inventories and traps
// when it takes a port --port would not, or refuses in more than one line or
// without naming a line of the text.

#include "Require.h"
#include "cli/PortList.h"

#include <cstdint>
#include <cstdio>
#include <variant>

namespace {

using namespace qm240lx;

using fuzz::require;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto parsed = PortList::parse(text, QStringLiteral("ports.txt"));
    if (const CliExit* refusal = std::get_if<CliExit>(&parsed)) {
        require(refusal->code == ExitCode::Usage, "a refusal is not a usage error");
        require(!refusal->text.contains(QLatin1Char('\n')), "a refusal is not one line");
        const qsizetype line = refusal->text.section(QLatin1String(", line "), 1)
                                   .section(QLatin1Char(':'), 0, 0)
                                   .toLongLong();
        require(line >= 1 && line <= text.count('\n') + 1, "a refusal names no line of the text");
        return 0;
    }
    for (const PortChoice& port : std::get<QList<PortChoice>>(parsed)) {
        const QString spelled = port.com ? QStringLiteral("COM%1").arg(*port.com) : port.devicePath;
        require(PortChoice::parse(spelled) == port, "a port --port would not take was taken");
    }
    return 0;
}
