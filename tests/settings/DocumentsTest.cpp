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

// The manual page as plain text, one paragraph a line: every macro but a
// font change starts a new one.
QStringList manualParagraphs()
{
    static const QRegularExpression font(QStringLiteral(R"(^\.(B|I|BR|BI|RB|IR|RI|IB) )"));
    static const QRegularExpression quoted(QStringLiteral(R"re(\s*"([^"]*)"\s*)re"));
    QString text;
    for (QString line : document("packaging/qm240lx.1").split(u'\n')) {
        const bool fontChange = font.match(line).hasMatch();
        if (line.startsWith(u'.') && !fontChange)
            line = QStringLiteral("\n");
        text += line.remove(font).replace(quoted, QStringLiteral("\\1")) + u' ';
    }
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.replace(QStringLiteral(" ."), QStringLiteral(".")).replace(QStringLiteral(" ,"), ",");
    QStringList paragraphs;
    for (const QString& paragraph : text.split(u'\n'))
        paragraphs << paragraph.simplified();
    return paragraphs;
}

// "a, b and c"
QString listed(QStringList items)
{
    const QString last = items.takeLast();
    return items.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

TEST(Documents, TheManualPageListsEachSettingWithItsValues)
{
    const QStringList paragraphs = manualParagraphs();
    QStringList keys;
    for (const Setting& setting : settingTable) {
        const QString entry = QStringLiteral("--%1 %2 ").arg(setting.option, setting.valueName);
        const QStringList found =
            paragraphs.filter(QRegularExpression(u'^' + QRegularExpression::escape(entry)));
        ASSERT_EQ(found.size(), 1) << entry.toStdString();
        EXPECT_TRUE(found[0].endsWith(settingText::oneOf(settingText::names(setting)) + u'.'))
            << found[0].toStdString();
        keys << settingText::key(setting);
    }
    EXPECT_EQ(paragraphs.filter(QStringLiteral("any of the keys %1,").arg(listed(keys))).size(), 1);
}

TEST(Documents, TheReadmeListsEachSettingWithItsValues)
{
    const QString readme = document("README.md").simplified();
    QStringList options;
    QStringList keys;
    for (const Setting& setting : settingTable) {
        options << QStringLiteral("`--%1 %2`")
                       .arg(setting.option, settingText::names(setting).join(u'|'));
        keys << QStringLiteral("`%1`").arg(setting.key);
    }
    EXPECT_TRUE(
        readme.contains(QStringLiteral("The settings of `set` are %1.").arg(listed(options))))
        << listed(options).toStdString();
    EXPECT_TRUE(readme.contains(QStringLiteral("(%1)").arg(keys.join(QStringLiteral(", ")))));
}

} // namespace
} // namespace qm240lx
