#include "tls/PeerText.h"

namespace qm240lx {
namespace {

const QLatin1String cut("...");

// Controls, and the characters that move, hide or reorder what follows
// (line and paragraph separators, bidirectional overrides, zero widths).
bool needsEscape(char32_t c)
{
    if (c < 0x20 || (c >= 0x7f && c < 0xa0))
        return true;
    if (c == 0xad || c == 0xfeff || (c >= 0xfff9 && c <= 0xfffb))
        return true;
    if ((c >= 0x200b && c <= 0x200f) || (c >= 0x2028 && c <= 0x202e) ||
        (c >= 0x2060 && c <= 0x206f))
        return true;
    return false;
}

QString escaped(char32_t c)
{
    if (c == '\\')
        return QStringLiteral("\\\\");
    if (c < 0x100)
        return QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
}

// One character of `text` from `at` as it is printed; `at` moves past it. A
// surrogate without its partner is escaped like a control.
QString nextPrintable(QStringView text, qsizetype& at)
{
    const QChar first = text[at++];
    if (first.isHighSurrogate() && at < text.size() && text[at].isLowSurrogate()) {
        ++at;
        return text.mid(at - 2, 2).toString();
    }
    if (first.isSurrogate() || needsEscape(first.unicode()) || first == QLatin1Char('\\'))
        return escaped(first.unicode());
    return QString(first);
}

} // namespace

QString PeerText::printable(QStringView text, qsizetype limit)
{
    QString result;
    qsizetype roomForCut = 0; // the longest start that leaves room for the cut
    qsizetype at = 0;
    while (at < text.size()) {
        const QString next = nextPrintable(text, at);
        if (result.size() + next.size() <= limit - cut.size())
            roomForCut = result.size() + next.size();
        result += next;
        if (result.size() > limit) {
            result.truncate(roomForCut);
            return result + cut;
        }
    }
    return result;
}

QString PeerText::list(const QStringList& names, qsizetype limit)
{
    QString result;
    qsizetype shown = 0;
    for (const QString& name : names) {
        const QString next = (shown == 0 ? QString() : QStringLiteral(", ")) + printable(name);
        if (shown > 0 && result.size() + next.size() > limit)
            break;
        result += next;
        ++shown;
    }
    if (shown < names.size())
        result += QStringLiteral(" and %1 more").arg(names.size() - shown);
    return result;
}

} // namespace qm240lx
