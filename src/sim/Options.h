#pragma once

#include "sim/Configuration.h"
#include "sim/Faults.h"

#include <optional>
#include <variant>

#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace qm240lx::sim {

// Everything the emulator is started with.
struct Options
{
    std::optional<QString> linkPath;
    std::optional<QString> flashPath;
    Configuration startBytes;
    bool trace = false;
    // Send one byte per character time (10 bits) at this rate, as a real
    // line does; unset: every reply at once.
    std::optional<int> paceBaud;
    Faults faults;

    friend bool operator==(const Options&, const Options&) = default;

    // Declares the options on `parser`, with --help and --version.
    static void declare(QCommandLineParser& parser);

    // Reads the options from a parser that has parsed the command line; a
    // string tells what is wrong with it.
    static std::variant<Options, QString> from(const QCommandLineParser& parser);

    // Parses a whole command line, program name first.
    static std::variant<Options, QString> parse(const QStringList& arguments);
};

// "0x13" in hex, "19" in decimal; nullopt unless it is 0 to 255.
std::optional<std::uint8_t> parseByte(const QString& text);

// Comma list of bytes ("0x55,0xFA"); nullopt unless each is a byte.
std::optional<QByteArray> parseBytes(const QString& text);

// Comma list of opcodes in hex ("ac,0xAD"), or "all"; nullopt for anything
// that is not one of the adapter's opcodes.
std::optional<OpcodeSet> parseOpcodes(const QString& text);

} // namespace qm240lx::sim
