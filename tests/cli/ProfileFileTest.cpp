#include "cli/ProfileFile.h"

#include <QIODevice>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// A pipe whose writer is slower than its reader: one byte per read.
class Trickle : public QIODevice
{
public:
    explicit Trickle(const QByteArray& text) : m_rest(text) { open(ReadOnly | Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 taken = 0;

protected:
    qint64 readData(char* data, qint64) override
    {
        if (m_rest.isEmpty())
            return 0;
        *data = m_rest.front();
        m_rest.remove(0, 1);
        return ++taken, 1;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_rest;
};

TEST(ProfileFile, ReadsAProfileThatComesInPiecesToItsEnd)
{
    Trickle whole(R"({"protocol": "obex", "slots": 6})");
    const auto read = ProfileFile::read(whole, "standard input");
    ASSERT_TRUE(std::holds_alternative<FieldChanges>(read))
        << std::get<CliExit>(read).text.toStdString();
    EXPECT_EQ(std::get<FieldChanges>(read).protocol, PrimaryProtocol::Obex);
    EXPECT_EQ(std::get<FieldChanges>(read).discoverySlots, 6);

    Trickle large(QByteArray(70000, ' ') + R"({"baud": 9600})");
    const auto refused = ProfileFile::read(large, "standard input");
    ASSERT_TRUE(std::holds_alternative<CliExit>(refused));
    EXPECT_EQ(std::get<CliExit>(refused).code, ExitCode::BadProfile);
    EXPECT_EQ(large.taken, 65537) << "reads no more than it needs to tell";
}

} // namespace
} // namespace qm240lx
