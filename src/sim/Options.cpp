#include "sim/Options.h"

#include <limits>

#include <QCommandLineParser>

namespace qm240lx::sim {

namespace {

constexpr int maxExtraBytes = 4096;
constexpr int maxDelayMs = 600'000;
constexpr int minPaceBaud = 50;
constexpr int maxPaceBaud = 4'000'000;

const QString description = QStringLiteral(
    "Plays a Velorin QM240LX infrared adapter on a pseudo-terminal. The first line on\n"
    "standard output is \"PTY <slave device>\"; open that device as the serial port.\n"
    "Runs until SIGTERM or SIGINT, or until the --unplug-after fault pulls the cable.\n"
    "\n"
    "Opcodes: AC probe, AD read configuration, AE/AA/AB set H-/D-/P-Byte to the\n"
    "byte that follows, AF save to flash. Bytes are given as 0x13 (hex) or 19\n"
    "(decimal); opcode lists as comma-separated hex (ac,ad or 0xAC,0xAD) or 'all'.\n"
    "\n"
    "--trace writes one line per byte on standard error:\n"
    "  '<ms since start, %9.3f> ms  rx|tx <byte, two upper-case hex digits>'\n"
    "for example '   12.345 ms  rx AC' (received from the host) and\n"
    "'   12.400 ms  tx FA' (sent to the host, logged once handed to the line).\n"
    "Other lines on standard error are notices and never match that pattern.\n"
    "\n"
    "--chaos SEED answers each command either properly or with one misbehaviour:\n"
    "a wrong byte, a late answer (0.1 to 4 s), a read-back cut to 1 or 2 bytes,\n"
    "1 to 3 extra bytes, silence, or a pulled cable. The choice is drawn from SEED,\n"
    "the command's number and its bytes, so the same SEED and the same bytes from\n"
    "the host replay the same run. --chaos-rate sets the share that misbehave.");

struct Declared
{
    const char* name;
    const char* help;
    const char* valueName; // nullptr for a switch
};

constexpr Declared declaredOptions[] = {
    {"link", "Make PATH a symbolic link to the slave device while running.", "PATH"},
    {"flash", "Keep the flash memory in FILE (three raw bytes).", "FILE"},
    {"h-byte", "H-Byte when there is no flash file (default 0x03).", "BYTE"},
    {"d-byte", "D-Byte when there is no flash file (default 0x92).", "BYTE"},
    {"p-byte", "P-Byte when there is no flash file (default 0x00).", "BYTE"},
    {"trace", "Log every byte each way on standard error.", nullptr},
    {"pace", "Send one byte per character time at BAUD (8N1), as a real line does.", "BAUD"},
    {"silent", "Fault: never answer these opcodes (they still take effect).", "OPS"},
    {"reject", "Fault: reject the first N uploads without storing them.", "N"},
    {"reject-ops", "Opcodes --reject counts (default ae,aa,ab).", "OPS"},
    {"reject-byte", "Answer to a rejected command (default 0xEE).", "BYTE"},
    {"probe-answer", "Fault: answer BYTE to the probe instead of 0xFA.", "BYTE"},
    {"short-readback", "Fault: the read-back sends only the H-Byte and D-Byte.", nullptr},
    {"stray-bits", "Fault: the read-back sets BYTE's bits in every byte it reports.", "BYTE"},
    {"extra", "Fault: send N stray bytes after every answer.", "N"},
    {"extra-byte", "Values of the stray bytes, taken in turn (default 0xFA).", "BYTES"},
    {"extra-ops", "Opcodes whose answers get the extra bytes (default all).", "OPS"},
    {"delay", "Fault: answer MS milliseconds late.", "MS"},
    {"delay-ops", "Opcodes whose answers are late (default all).", "OPS"},
    {"unplug-after", "Fault: pull the cable when the K-th byte arrives, unanswered.", "K"},
    {"chaos", "Fault: misbehave at random, reproducibly from SEED (0 to 4294967295).", "SEED"},
    {"chaos-rate", "Share of commands --chaos makes misbehave, 0 to 1 (default 0.5).", "RATE"},
};

QString optionName(const char* name)
{
    return QString::fromLatin1(name);
}

QString invalid(const QCommandLineParser& parser, const char* name, const QString& expected)
{
    return QStringLiteral("--%1 %2: expected %3")
        .arg(optionName(name), parser.value(optionName(name)), expected);
}

bool readByte(const QCommandLineParser& parser, const char* name, std::uint8_t& target,
              QString& error)
{
    if (!parser.isSet(optionName(name)))
        return true;
    const std::optional<std::uint8_t> value = parseByte(parser.value(optionName(name)));
    if (!value) {
        error = invalid(parser, name, QStringLiteral("a byte, 0 to 255 or 0x00 to 0xFF"));
        return false;
    }
    target = *value;
    return true;
}

bool readNumber(const QCommandLineParser& parser, const char* name, int minimum, int maximum,
                int& target, QString& error)
{
    if (!parser.isSet(optionName(name)))
        return true;
    bool ok = false;
    const int value = parser.value(optionName(name)).toInt(&ok, 10);
    if (!ok || value < minimum || value > maximum) {
        error = invalid(parser, name,
                        QStringLiteral("a number from %1 to %2").arg(minimum).arg(maximum));
        return false;
    }
    target = value;
    return true;
}

bool readBytes(const QCommandLineParser& parser, const char* name, QByteArray& target,
               QString& error)
{
    if (!parser.isSet(optionName(name)))
        return true;
    const std::optional<QByteArray> value = parseBytes(parser.value(optionName(name)));
    if (!value) {
        error = invalid(parser, name, QStringLiteral("bytes, comma-separated, such as 0x55,0xFA"));
        return false;
    }
    target = *value;
    return true;
}

bool readOpcodes(const QCommandLineParser& parser, const char* name, OpcodeSet& target,
                 QString& error)
{
    if (!parser.isSet(optionName(name)))
        return true;
    const std::optional<OpcodeSet> value = parseOpcodes(parser.value(optionName(name)));
    if (!value) {
        error = invalid(parser, name, QStringLiteral("opcodes among aa,ab,ac,ad,ae,af, or all"));
        return false;
    }
    target = *value;
    return true;
}

bool readStartBytes(const QCommandLineParser& parser, Configuration& bytes, QString& error)
{
    return readByte(parser, "h-byte", bytes.hByte, error) &&
           readByte(parser, "d-byte", bytes.dByte, error) &&
           readByte(parser, "p-byte", bytes.pByte, error);
}

bool readAnswerFaults(const QCommandLineParser& parser, Faults& faults, QString& error)
{
    std::uint8_t probeAnswer = 0;
    if (!readOpcodes(parser, "silent", faults.silentOps, error) ||
        !readNumber(parser, "reject", 0, std::numeric_limits<int>::max(), faults.rejectCount,
                    error) ||
        !readOpcodes(parser, "reject-ops", faults.rejectOps, error) ||
        !readByte(parser, "reject-byte", faults.rejectByte, error) ||
        !readByte(parser, "probe-answer", probeAnswer, error) ||
        !readByte(parser, "stray-bits", faults.strayBits, error))
        return false;
    if (parser.isSet(QStringLiteral("probe-answer")))
        faults.probeAnswer = probeAnswer;
    faults.shortReadback = parser.isSet(QStringLiteral("short-readback"));
    return true;
}

bool readLineFaults(const QCommandLineParser& parser, Faults& faults, QString& error)
{
    int delayMs = 0;
    int unplugAfter = 0;
    if (!readNumber(parser, "extra", 0, maxExtraBytes, faults.extraCount, error) ||
        !readBytes(parser, "extra-byte", faults.extraBytes, error) ||
        !readOpcodes(parser, "extra-ops", faults.extraOps, error) ||
        !readNumber(parser, "delay", 0, maxDelayMs, delayMs, error) ||
        !readOpcodes(parser, "delay-ops", faults.delayOps, error) ||
        !readNumber(parser, "unplug-after", 1, std::numeric_limits<int>::max(), unplugAfter, error))
        return false;
    faults.delay = std::chrono::milliseconds(delayMs);
    if (parser.isSet(QStringLiteral("unplug-after")))
        faults.unplugAfter = unplugAfter;
    return true;
}

bool readChaos(const QCommandLineParser& parser, Faults& faults, QString& error)
{
    const bool rateSet = parser.isSet(QStringLiteral("chaos-rate"));
    if (!parser.isSet(QStringLiteral("chaos"))) {
        if (rateSet)
            error = QStringLiteral("--chaos-rate needs --chaos");
        return !rateSet;
    }
    bool ok = false;
    Chaos::Settings chaos;
    chaos.seed = parser.value(QStringLiteral("chaos")).trimmed().toUInt(&ok, 10);
    if (!ok) {
        error = invalid(parser, "chaos", QStringLiteral("a number from 0 to 4294967295"));
        return false;
    }
    if (rateSet) {
        chaos.rate = parser.value(QStringLiteral("chaos-rate")).trimmed().toDouble(&ok);
        if (!ok || !(chaos.rate >= 0.0 && chaos.rate <= 1.0)) {
            error = invalid(parser, "chaos-rate", QStringLiteral("a number from 0 to 1"));
            return false;
        }
    }
    faults.chaos = chaos;
    return true;
}

std::optional<QString> optionalValue(const QCommandLineParser& parser, const char* name)
{
    if (!parser.isSet(optionName(name)))
        return std::nullopt;
    return parser.value(optionName(name));
}

} // namespace

void Options::declare(QCommandLineParser& parser)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    for (const Declared& option : declaredOptions) {
        parser.addOption(
            option.valueName
                ? QCommandLineOption(optionName(option.name), QString::fromLatin1(option.help),
                                     QString::fromLatin1(option.valueName))
                : QCommandLineOption(optionName(option.name), QString::fromLatin1(option.help)));
    }
}

std::variant<Options, QString> Options::from(const QCommandLineParser& parser)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
    Options options;
    QString error;
    if (!readStartBytes(parser, options.startBytes, error) ||
        !readAnswerFaults(parser, options.faults, error) ||
        !readLineFaults(parser, options.faults, error) || !readChaos(parser, options.faults, error))
        return error;
    options.linkPath = optionalValue(parser, "link");
    options.flashPath = optionalValue(parser, "flash");
    options.trace = parser.isSet(QStringLiteral("trace"));
    int paceBaud = 0;
    if (!readNumber(parser, "pace", minPaceBaud, maxPaceBaud, paceBaud, error))
        return error;
    if (parser.isSet(QStringLiteral("pace")))
        options.paceBaud = paceBaud;
    return options;
}

std::variant<Options, QString> Options::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    declare(parser);
    if (!parser.parse(arguments))
        return parser.errorText();
    return from(parser);
}

std::optional<std::uint8_t> parseByte(const QString& text)
{
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    bool ok = false;
    const uint value = hex ? trimmed.mid(2).toUInt(&ok, 16) : trimmed.toUInt(&ok, 10);
    if (!ok || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<QByteArray> parseBytes(const QString& text)
{
    QByteArray bytes;
    for (const QString& item : text.split(u',')) {
        const std::optional<std::uint8_t> byte = parseByte(item);
        if (!byte)
            return std::nullopt;
        bytes.append(static_cast<char>(*byte));
    }
    return bytes;
}

std::optional<OpcodeSet> parseOpcodes(const QString& text)
{
    if (text.trimmed().compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        return allOpcodes();
    OpcodeSet opcodes;
    for (const QString& item : text.split(u',')) {
        QString digits = item.trimmed();
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits.remove(0, 2);
        bool ok = false;
        const uint value = digits.toUInt(&ok, 16);
        if (!ok || value > 0xFF || !opcode::isOpcode(static_cast<std::uint8_t>(value)))
            return std::nullopt;
        opcodes.set(value);
    }
    return opcodes;
}

} // namespace qm240lx::sim
