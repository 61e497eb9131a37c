#include "settings/SettingTable.h"
#include "settings/SettingText.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

// The manual page and the README list the settings; they must say what the
// table says.

namespace qm240lx {
namespace {

QString document(const char* path)
{
    QFile file(QStringLiteral(QM240LX_SOURCE_DIR "/") + QLatin1String(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(file.readAll());
}

// The words of a font macro's arguments: quoted, or up to a space.
QString macroText(const QString& line)
{
    static const QRegularExpression argument(QStringLiteral(R"re("([^"]*)"|(\S+))re"));
    const bool alternating = line.size() > 2 && !line.at(2).isSpace();
    QStringList words;
    auto match = argument.globalMatch(line.mid(line.indexOf(u' ') + 1));
    while (match.hasNext()) {
        const auto found = match.next();
        words << found.captured(found.lastCapturedIndex());
    }
    return words.join(alternating ? QString() : QStringLiteral(" "));
}

// The manual page as plain text, a paragraph an entry: every other macro
// than a font change starts a new one.
QStringList manualParagraphs()
{
    static const QRegularExpression fontMacro(QStringLiteral(R"(^\.(B|I|BR|BI|RB|IR|RI|IB) )"));
    QStringList paragraphs{QString()};
    for (const QString& line : document("packaging/qm240lx.1").split(u'\n')) {
        if (line.startsWith(u'.') && !fontMacro.match(line).hasMatch())
            paragraphs << QString();
        else
            paragraphs.last() += (line.startsWith(u'.') ? macroText(line) : line) + u' ';
    }
    for (QString& paragraph : paragraphs) {
        paragraph.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        paragraph.remove(QRegularExpression(QStringLiteral(R"(\\f[BIR])")));
        paragraph = paragraph.simplified();
    }
    return paragraphs;
}

QStringList namesOf(const Setting& setting)
{
    QStringList names;
    for (const int element : settingText::sendable(setting))
        names << settingText::name(setting, element);
    return names;
}

QString listed(QStringList items, const QString& last)
{
    const QString end = items.takeLast();
    return items.join(QStringLiteral(", ")) + last + end;
}

TEST(Documents, TheManualPageListsEachSettingWithItsValues)
{
    const QStringList paragraphs = manualParagraphs();
    QStringList keys;
    for (const Setting& setting : settingTable) {
        const QString entry = QStringLiteral("--%1 %2 ").arg(setting.option, setting.valueName);
        const auto found = std::find_if(paragraphs.begin(), paragraphs.end(),
                                        [&](const QString& p) { return p.startsWith(entry); });
        ASSERT_NE(found, paragraphs.end()) << entry.toStdString();
        EXPECT_TRUE(found->endsWith(settingText::oneOf(namesOf(setting)) + u'.'))
            << found->toStdString();
        keys << settingText::key(setting);
    }
    const QString profileKeys = QStringLiteral("any of the keys %1,").arg(listed(keys, " and "));
    EXPECT_TRUE(std::any_of(paragraphs.begin(), paragraphs.end(), [&](const QString& p) {
        return p.contains(profileKeys);
    })) << profileKeys.toStdString();
}

TEST(Documents, TheReadmeListsEachSettingWithItsValues)
{
    const QString readme = document("README.md").simplified();
    QStringList options;
    QStringList keys;
    for (const Setting& setting : settingTable) {
        options << QStringLiteral("`--%1 %2`").arg(setting.option, namesOf(setting).join(u'|'));
        keys << QStringLiteral("`%1`").arg(setting.key);
    }
    const QString sentence = QStringLiteral("The settings of `set` are %1.");
    EXPECT_TRUE(readme.contains(sentence.arg(listed(options, " and "))))
        << sentence.arg(listed(options, " and ")).toStdString();
    EXPECT_TRUE(readme.contains(QStringLiteral("(%1)").arg(keys.join(QStringLiteral(", ")))));
}

} // namespace
} // namespace qm240lx
