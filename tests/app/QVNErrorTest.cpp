#include "QVNError.h"

#include <gtest/gtest.h>

TEST(QVNError, EmptyCollectorGivesEmptyText)
{
    QVNError e;
    EXPECT_EQ(e.ToString(), QString());
}

TEST(QVNError, TakenOverLinesAreIndentedFiveSpacesPerLevelAndTrimmed)
{
    QVNError inner;
    inner.Add(QStringLiteral("C"));
    QVNError deeper;
    deeper.Add(QStringLiteral("  D  "));
    inner.AddExceptions(deeper);

    QVNError outer;
    outer.Add(QStringLiteral("A"));
    outer.Add(QStringLiteral("B"));
    outer.AddExceptions(inner);
    EXPECT_EQ(outer.ToString(), QStringLiteral("A\r\nB\r\n     C\r\n          D"));
    EXPECT_EQ(inner.Count(), 2); // the source is not changed

    outer.Clear();
    EXPECT_EQ(outer.ToString(), QString());
}

TEST(QVNError, TakingOverItselfTerminates)
{
    QVNError e;
    e.Add(QStringLiteral("A"));
    e.AddExceptions(e);
    EXPECT_EQ(e.ToString(), QStringLiteral("A\r\n     A"));
}
