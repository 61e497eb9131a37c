// Feeds arbitrary text, as a certificate's names or an alert's wording could
// hold it, to the escaping of text from a TLS peer, and traps when what would
// reach the terminal holds a control or format character, a lone surrogate,
// or runs past its bound, or when plain text does not come through as it is.

#include "Require.h"
#include "tls/PeerText.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

#include <QStringList>

namespace {

using qm240lx::PeerText;
using qm240lx::fuzz::require;

bool isPrintable(QStringView text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c < 0x20 || (c >= 0x7f && c < 0xa0) || (c >= 0x2028 && c <= 0x202e) ||
            (c >= 0x2066 && c <= 0x2069))
            return false;
        if (QChar::isHighSurrogate(c) &&
            (at + 1 == text.size() || !QChar::isLowSurrogate(text[at + 1].unicode())))
            return false;
        if (QChar::isHighSurrogate(c))
            ++at;
        else if (QChar::isLowSurrogate(c))
            return false;
    }
    return true;
}

// UTF-16 as it comes, lone surrogates included.
QString utf16(const std::string& bytes)
{
    return QString(reinterpret_cast<const QChar*>(bytes.data()),
                   static_cast<qsizetype>(bytes.size() / 2));
}

bool isPlain(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('\\'))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider input(bytes, size);
    const qsizetype limit = input.ConsumeIntegralInRange<qsizetype>(3, 400);
    QStringList names;
    while (input.remaining_bytes() > 0) {
        const std::string chunk =
            input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 600));
        names.append(input.ConsumeBool() ? QString::fromUtf8(chunk) : utf16(chunk));
    }
    for (const QString& name : names) {
        const QString printed = PeerText::printable(name, limit);
        require(isPrintable(printed), "a control character reached the terminal");
        require(printed.size() <= limit, "printed beyond the bound");
        require(!isPlain(name) || name.size() > limit || printed == name,
                "plain text did not come through as it is");
    }
    const QString listed = PeerText::list(names);
    require(isPrintable(listed), "a control character in the list of names");
    require(listed.size() <= PeerText::listLimit + PeerText::textLimit + 32,
            "a list of names beyond its bound");
    return 0;
}
