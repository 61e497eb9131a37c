#include "settings/RepeatedKey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace qm240lx {
namespace {

// Walks a well-formed JSON text member by member; every step stops at the
// end of the text, so a text that is not well-formed cannot run it off.
class JsonWalk
{
public:
    explicit JsonWalk(const QByteArray& text) : m_text(text) {}

    qsizetype at() const { return m_at; }
    bool atEnd() const { return m_at >= m_text.size(); }
    char current() const { return atEnd() ? '\0' : m_text.at(m_at); }

    // Onto the first opening brace: a byte order mark and blanks come before it.
    void enterObject()
    {
        while (!atEnd() && current() != '{')
            ++m_at;
        ++m_at;
    }

    void skipBlanks()
    {
        while (current() == ' ' || current() == '\t' || current() == '\n' || current() == '\r')
            ++m_at;
    }

    // From an opening quote to just past its closing one; returns the string
    // decoded.
    QString readString()
    {
        const qsizetype start = m_at;
        skipString();
        const QByteArray token = "[" + m_text.mid(start, m_at - start) + "]";
        return QJsonDocument::fromJson(token).array().at(0).toString();
    }

    // Past one value of any kind.
    void skipValue()
    {
        if (current() == '"')
            return skipString();
        int depth = 0;
        while (!atEnd()) {
            const char byte = current();
            if (byte == '"') {
                skipString();
                continue;
            }
            if (byte == '{' || byte == '[')
                ++depth;
            else if (byte == '}' || byte == ']')
                --depth;
            else if (depth == 0 &&
                     (byte == ',' || byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'))
                return;
            if (depth < 0)
                return;
            ++m_at;
            if (depth == 0 && (byte == '}' || byte == ']'))
                return;
        }
    }

    bool skip(char expected)
    {
        if (current() != expected)
            return false;
        ++m_at;
        return true;
    }

private:
    void skipString()
    {
        ++m_at;
        while (!atEnd() && current() != '"')
            m_at += current() == '\\' ? 2 : 1;
        ++m_at;
    }

    const QByteArray& m_text;
    qsizetype m_at = 0;
};

} // namespace

std::optional<RepeatedKey> RepeatedKey::find(const QByteArray& text)
{
    JsonWalk walk(text);
    walk.enterObject();
    QSet<QString> seen;
    for (walk.skipBlanks(); walk.current() == '"'; walk.skipBlanks()) {
        const qsizetype at = walk.at();
        const QString key = walk.readString();
        if (seen.contains(key))
            return RepeatedKey{key, at};
        seen.insert(key);
        walk.skipBlanks();
        if (!walk.skip(':'))
            break;
        walk.skipBlanks();
        walk.skipValue();
        walk.skipBlanks();
        if (!walk.skip(','))
            break;
    }
    return std::nullopt;
}

} // namespace qm240lx
