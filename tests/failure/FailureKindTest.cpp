// The kinds scripts group failures by: one name each, none twice, and every
// one documented in the README and the manual page.
#include "failure/FailureKind.h"

#include <set>
#include <string>

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QString documentText(const char* path)
{
    QFile file(QStringLiteral(QM240LX_SOURCE_DIR "/") + QLatin1String(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(file.readAll());
}

TEST(FailureKind, EachKindHasItsOwnDocumentedName)
{
    const QString readme = documentText("README.md");
    const QString manual = documentText("packaging/qm240lx.1");
    std::set<std::string_view> names;
    for (const FailureKindName& entry : failureKindNames) {
        SCOPED_TRACE(std::string(entry.name));
        EXPECT_TRUE(names.insert(entry.name).second) << "named twice";
        EXPECT_EQ(nameOf(entry.kind), entry.name);
        if (entry.kind == FailureKind::None)
            continue;
        const QString name = QString::fromLatin1(entry.name.data(), entry.name.size());
        EXPECT_TRUE(readme.contains("| `" + name + "` |")) << "not in the README's list";
        EXPECT_TRUE(manual.contains(".B " + name + "\n")) << "not in the manual page";
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(FailureKind::TooManyPorts) + 1)
        << "a kind without a name";
}

} // namespace
} // namespace qm240lx
