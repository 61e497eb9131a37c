#include "tls/PeerText.h"

#include "tls/TlsAlerts.h"
#include "tls/TlsFailure.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

TEST(PeerText, EscapesWhatATerminalWouldActOnAndCutsOnlyBetweenCharacters)
{
    const struct
    {
        const char* name;
        QString text;
        QString printed;
        qsizetype limit = PeerText::textLimit;
    } cases[] = {
        {"letters beyond ASCII stay", QString::fromUtf8("bücher \xf0\x9f\x94\x92"),
         QString::fromUtf8("bücher \xf0\x9f\x94\x92")},
        {"a screen clear, a title, a forged line", "\x1b[2J\x1b]0;pwned\a\r\nqm240lx: forged",
         "\\x1b[2J\\x1b]0;pwned\\x07\\x0d\\x0aqm240lx: forged"},
        {"a backslash is doubled so escapes cannot be forged", "a\\x1b", "a\\\\x1b"},
        {"DEL and the C1 controls", QString("a") + QChar(0x7f) + QChar(0x9b) + "b", "a\\x7f\\x9bb"},
        {"reordering and separators", QString(QChar(0x202e)) + "cba" + QChar(0x2028),
         "\\u202ecba\\u2028"},
        {"a lone surrogate", QString(QChar(0xd800)) + "x", "\\ud800x"},
        {"text that fits exactly is not cut", "abcdefghij", "abcdefghij", 10},
        {"longer text is cut with a mark", "abcdefghijk", "abcdefg...", 10},
        {"an escape is never cut in half", "abcde\x1bzz", "abcde...", 10},
        {"nor a surrogate pair", QString::fromUtf8("abcdef\xf0\x9f\x94\x92zzz"), "abcdef...", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PeerText::printable(c.text, c.limit).toStdString(), c.printed.toStdString());
    }
}

// OpenSSL's words for a failure it found itself end up in the sentence.
TEST(PeerText, AHandshakeFailureOfUnknownWordingIsPrintedEscaped)
{
    const TlsAlerts noAlert;
    const PortError failure =
        TlsFailure::handshake("tcp+tls://h:1", noAlert, "odd\x1b]0;x\a\r\nqm240lx: forged", false);
    EXPECT_EQ(failure.kind, PortError::Kind::TlsFailed);
    EXPECT_EQ(failure.message.toStdString(),
              "TLS with tcp+tls://h:1 failed: odd\\x1b]0;x\\x07\\x0d\\x0aqm240lx: forged.");
}

} // namespace
} // namespace qm240lx
