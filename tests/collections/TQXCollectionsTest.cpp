#include "TQXRows.h"
#include "TQXUnique.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(TQXCols, KeysIgnoreCaseAndDuplicatesAreRefusedSilently)
{
    auto cols = TQXCols::Create();
    ASSERT_NE(cols->Add(TQXValue(1), QStringLiteral("ABC")), nullptr);
    EXPECT_EQ(cols->Add(TQXValue(2), QStringLiteral("abc")), nullptr);
    EXPECT_EQ(cols->Count(), 1);
    EXPECT_EQ(cols->Item(QStringLiteral("Abc"))->Value().toInteger(), 1);

    // Unicode letters fold too: Straße / STRASSE differ, but Ä / ä are one key.
    ASSERT_NE(cols->Add(TQXValue(3), QStringLiteral("Ärger")), nullptr);
    EXPECT_EQ(cols->Add(TQXValue(4), QStringLiteral("äRGER")), nullptr);
    EXPECT_TRUE(cols->Exists(QStringLiteral("ÄRGER")));
    ASSERT_NE(cols->Add(TQXValue(5), QStringLiteral("Σίσυφος")), nullptr);
    EXPECT_TRUE(cols->Exists(QStringLiteral("ΣΊΣΥΦΟΣ")));
    // Characters outside the basic plane fold too (Deseret capital and small letter).
    ASSERT_NE(cols->Add(TQXValue(6), QString::fromUcs4(U"\U00010400x")), nullptr);
    EXPECT_TRUE(cols->Exists(QString::fromUcs4(U"\U00010428X")));
    EXPECT_TRUE(cols->Remove(QString::fromUcs4(U"\U00010428x")));
    EXPECT_FALSE(cols->Exists(QString::fromUcs4(U"\U00010400x")));
}

TEST(TQXCols, EmptyKeysAlwaysAddAndAreReachableOnlyByPosition)
{
    auto cols = TQXCols::Create();
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(cols->Add(TQXValue(i)), nullptr);
    EXPECT_EQ(cols->Count(), 3);
    EXPECT_FALSE(cols->Exists(QString()));
    EXPECT_EQ(cols->Item(QString()), nullptr);
    EXPECT_EQ(cols->Item(3)->Value().toInteger(), 2);
}

TEST(TQXCols, NumbersSelectPositionsAndTextAlwaysSelectsKeys)
{
    auto cols = TQXCols::Create();
    cols->Add(TQXValue("first"), QStringLiteral("2"));
    cols->Add(TQXValue("second"), QStringLiteral("1"));
    EXPECT_EQ(cols->Item(TQXValue(1))->Value().ToText(), QStringLiteral("first"));
    EXPECT_EQ(cols->Item(TQXValue(QStringLiteral("1")))->Value().ToText(), QStringLiteral("second"));
    EXPECT_EQ(cols->Item(TQXValue(2.0))->Value().ToText(), QStringLiteral("second"));
    EXPECT_EQ(cols->Item(0), nullptr);
    EXPECT_EQ(cols->Item(3), nullptr);
    EXPECT_EQ(cols->Item(TQXValue()), nullptr);
    EXPECT_FALSE(cols->Exists(TQXValue::Null()));
}

TEST(TQXCols, RemoveClosesTheGapAndFreesTheKey)
{
    auto cols = TQXCols::Create();
    cols->Add(TQXValue("a"), QStringLiteral("A"));
    cols->Add(TQXValue("b"), QStringLiteral("B"));
    cols->Add(TQXValue("c"));
    EXPECT_TRUE(cols->Remove(1));
    EXPECT_EQ(cols->Item(1)->Value().ToText(), QStringLiteral("b"));
    EXPECT_FALSE(cols->Exists(QStringLiteral("a")));
    EXPECT_TRUE(cols->Remove(QStringLiteral("b")));
    EXPECT_FALSE(cols->Remove(QStringLiteral("b")));
    EXPECT_FALSE(cols->Remove(5));
    EXPECT_EQ(cols->Count(), 1);
    ASSERT_NE(cols->Add(TQXValue("again"), QStringLiteral("a")), nullptr);
    EXPECT_EQ(cols->Item(QStringLiteral("A"))->Value().ToText(), QStringLiteral("again"));
}

TEST(TQXCols, CopyAppendsSkipsCollidingKeysAndCopiesNestedSetsDeeply)
{
    auto nestedRows = TQXRows::Create();
    nestedRows->SetTag(QStringLiteral("COLUMNS"));
    auto nestedCols = TQXCols::Create();
    nestedCols->Add(TQXValue("x"), QStringLiteral("X"));
    nestedRows->Add(nestedCols, QStringLiteral("r1"));
    auto other = std::make_shared<TQXObject>();

    auto source = TQXCols::Create();
    source->Add(TQXValue("one"), QStringLiteral("K1"), QStringLiteral("n"), QStringLiteral("t"), QStringLiteral("g"));
    source->Add(TQXValue(nestedRows), QStringLiteral("K2"));
    source->Add(TQXValue(other), QStringLiteral("K3"));

    auto target = TQXCols::Create();
    target->Add(TQXValue("kept"), QStringLiteral("k1"));
    ASSERT_TRUE(target->Copy(source));
    ASSERT_EQ(target->Count(), 3);
    EXPECT_EQ(target->Item(1)->Value().ToText(), QStringLiteral("kept"));
    EXPECT_EQ(target->Item(2)->Key(), QStringLiteral("K2"));

    auto copiedRows = target->Item(QStringLiteral("K2"))->Value().rows();
    ASSERT_NE(copiedRows, nullptr);
    EXPECT_NE(copiedRows, nestedRows);
    EXPECT_EQ(copiedRows->Tag(), QStringLiteral("COLUMNS"));
    copiedRows->Item(1)->Cols()->Item(QStringLiteral("X"))->SetValue(TQXValue("changed"));
    EXPECT_EQ(nestedCols->Item(QStringLiteral("X"))->Value().ToText(), QStringLiteral("x"));
    EXPECT_EQ(target->Item(QStringLiteral("K3"))->Value().object(), other);
}

TEST(TQXCols, CopyIntoItselfTerminatesWithOneCopyOfEachElement)
{
    auto cols = TQXCols::Create();
    cols->Add(TQXValue(1));
    cols->Add(TQXValue(2), QStringLiteral("key"));
    cols->Copy(cols);
    EXPECT_EQ(cols->Count(), 3); // the keyed element collides with itself
}

TEST(TQXCols, CopyOfANullSourceThrowsAndKeepsTheTarget)
{
    auto cols = TQXCols::Create();
    cols->Add(TQXValue(1));
    EXPECT_THROW(cols->Copy(nullptr), std::invalid_argument);
    EXPECT_EQ(cols->Count(), 1);
}

TEST(TQXRows, AddSharesTheColumnSetAndCopyRowDoesNot)
{
    auto cols = TQXCols::Create();
    auto rows = TQXRows::Create();
    auto row = rows->Add(cols, QStringLiteral("T1"), QStringLiteral("name"), QStringLiteral("tag"));
    ASSERT_NE(row, nullptr);
    cols->Add(TQXValue("late"), QStringLiteral("C"));
    EXPECT_EQ(row->Cols()->Text(QStringLiteral("C")), QStringLiteral("late"));

    auto copies = TQXRows::Create();
    copies->CopyRow(row);
    cols->Add(TQXValue("later"), QStringLiteral("D"));
    EXPECT_EQ(copies->Item(1)->Cols()->Count(), 1);
    EXPECT_EQ(copies->Item(1)->Key(), QStringLiteral("T1"));
    EXPECT_EQ(copies->Item(1)->Name(), QStringLiteral("name"));

    // A refused key drops the copy silently.
    EXPECT_TRUE(copies->CopyRow(row));
    EXPECT_EQ(copies->Count(), 1);
}

TEST(TQXRows, CopyRowDoesNotTakeTheRowSetTagButNestedSetsKeepTheirs)
{
    auto cols = TQXCols::Create();
    cols->SetTag(QStringLiteral("outer"));
    auto inner = TQXCols::Create();
    inner->SetTag(QStringLiteral("inner"));
    cols->Add(TQXValue(inner), QStringLiteral("IN"));
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("TABLES"));
    rows->Add(cols);

    auto target = TQXRows::Create();
    target->Copy(rows);
    EXPECT_EQ(target->Tag(), QString());
    EXPECT_EQ(target->Item(1)->Cols()->Tag(), QString());
    EXPECT_EQ(target->Item(1)->Cols()->Item(QStringLiteral("IN"))->Value().cols()->Tag(), QStringLiteral("inner"));
}

TEST(TQXRow, ColsIsCreatedLazilyOnceAndAfterANullAssignmentAgain)
{
    TQXRow row;
    const TQXColsPtr first = row.Cols();
    EXPECT_EQ(row.Cols(), first);
    EXPECT_EQ(first->Count(), 0);
    row.SetCols(nullptr);
    EXPECT_NE(row.Cols(), nullptr);
    EXPECT_NE(row.Cols(), first);
}

TEST(TQXRows, ClearEmptiesTheSetButElementsLiveOnForOtherHolders)
{
    auto shared = TQXCols::Create();
    auto col = shared->Add(TQXValue("v"), QStringLiteral("K"));
    auto rows = TQXRows::Create();
    auto row = rows->Add(shared);
    auto elsewhere = TQXCols::Create();
    elsewhere->AddRef(col, QStringLiteral("K"));

    shared->Clear();
    EXPECT_EQ(row->Cols()->Count(), 0);
    EXPECT_EQ(elsewhere->Item(QStringLiteral("k"))->Value().ToText(), QStringLiteral("v"));
    EXPECT_TRUE(rows->Clear());
    EXPECT_EQ(rows->Count(), 0);
    EXPECT_EQ(row->Cols(), shared);
    ASSERT_NE(shared->Add(TQXValue(1), QStringLiteral("K")), nullptr); // usable after Clear
}

TEST(TQXRows, EnumerationFollowsInsertionOrder)
{
    auto rows = TQXRows::Create();
    for (int i = 0; i < 5; ++i)
        rows->Add(TQXCols::Create(), QStringLiteral("r%1").arg(i));
    QStringList keys;
    for (const TQXRowPtr& r : *rows)
        keys << r->Key();
    EXPECT_EQ(keys.join(QLatin1Char(',')), QStringLiteral("r0,r1,r2,r3,r4"));
}

TEST(TQXCol, NameTypeAndTagAreCopiedWithTheColumnAndStayApart)
{
    // A plain column has no name, type or tag; setting one and clearing it again reads back empty.
    TQXCol plain;
    plain.SetName(QString());
    EXPECT_TRUE(plain.Name().isEmpty() && plain.DataType().isEmpty() && plain.Tag().isEmpty());
    TQXCol described;
    described.SetKey(QStringLiteral("K"));
    described.SetValue(TQXValue(7));
    described.SetTag(QStringLiteral("tag"));
    described.SetName(QStringLiteral("name"));
    TQXCol copy(described);
    copy.SetTag(QStringLiteral("other"));
    described.SetName(QString());
    EXPECT_EQ(copy.Name(), QStringLiteral("name"));
    EXPECT_EQ(copy.Tag(), QStringLiteral("other"));
    EXPECT_EQ(described.Tag(), QStringLiteral("tag"));
    EXPECT_TRUE(described.Name().isEmpty());
    plain = copy;
    copy.SetDataType(QStringLiteral("int"));
    EXPECT_EQ(plain.Key(), QStringLiteral("K"));
    EXPECT_EQ(plain.Value().toInteger(), 7);
    EXPECT_EQ(plain.Tag(), QStringLiteral("other"));
    EXPECT_TRUE(plain.DataType().isEmpty());
    TQXCol moved(std::move(copy));
    EXPECT_EQ(moved.DataType(), QStringLiteral("int"));

    // Rows keep their name and tag apart the same way; a copy shares the column set.
    TQXRow row;
    row.SetKey(QStringLiteral("R"));
    row.SetTag(QStringLiteral("rt"));
    row.Cols()->Add(TQXValue(1), QStringLiteral("C"));
    TQXRow rowCopy(row);
    row.SetTag(QString());
    rowCopy.SetName(QStringLiteral("rn"));
    EXPECT_TRUE(row.Tag().isEmpty() && row.Name().isEmpty());
    EXPECT_EQ(rowCopy.Key() + rowCopy.Name() + rowCopy.Tag(), QStringLiteral("Rrnrt"));
    EXPECT_EQ(rowCopy.Cols(), row.Cols());

    // A set copy keeps them per column, and a nested set stays independent of its source.
    auto source = TQXCols::Create();
    source->Add(TQXValue("plain"), QStringLiteral("P"));
    source->Add(TQXValue("full"), QStringLiteral("F"), QStringLiteral("n"), QStringLiteral("d"), QStringLiteral("t"));
    auto target = TQXCols::Create();
    target->Copy(source);
    source->Item(QStringLiteral("F"))->SetName(QStringLiteral("changed"));
    const TQXColPtr full = target->Item(QStringLiteral("f"));
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->Name() + full->DataType() + full->Tag(), QStringLiteral("ndt"));
    EXPECT_TRUE(target->Item(QStringLiteral("P"))->Name().isEmpty());
}

TEST(TQXCols, ReservedColumnsLiveAsLongAsTheirHoldersAndRefusedOnesLeaveNoTrace)
{
    TQXColPtr kept, shared;
    {
        auto cols = TQXCols::Create();
        cols->Reserve(3);
        kept = cols->Add(TQXValue("a"), QStringLiteral("A"));
        EXPECT_EQ(cols->Add(TQXValue("dup"), QStringLiteral("a")), nullptr); // refused: its slot is reused
        const TQXColPtr b = cols->Add(TQXValue("b"), QStringLiteral("B"), QStringLiteral("name"));
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->Key() == QStringLiteral("B") && b->Name() == QStringLiteral("name"));
        cols->Add(TQXValue("c"), QStringLiteral("C"));
        cols->Add(TQXValue("d"), QStringLiteral("D")); // beyond what was reserved
        EXPECT_EQ(cols->Count(), 4);
        QStringList seen;
        for (const TQXColPtr& c : *cols)
            seen << c->Key() + QLatin1Char('=') + c->Value().ToText();
        EXPECT_EQ(seen.join(QLatin1Char(',')), QStringLiteral("A=a,B=b,C=c,D=d"));
        // A column shared into another set, then the first set cleared and gone.
        auto other = TQXCols::Create();
        other->AddRef(b, QStringLiteral("elsewhere"));
        cols->Clear();
        shared = other->Item(QStringLiteral("ELSEWHERE"));
        cols->Reserve(2);
        cols->Add(TQXValue("new"), QStringLiteral("A"));
    }
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(kept->Value().ToText(), QStringLiteral("a"));
    EXPECT_EQ(shared->Value().ToText(), QStringLiteral("b"));
    kept->SetValue(TQXValue("changed"));
    EXPECT_EQ(shared->Value().ToText(), QStringLiteral("b"));
}

TEST(TQXCols, KeysStayFoundAcrossTheSwitchToAnIndex)
{
    // Small sets are searched in order, larger ones through an index: every size in between must
    // find, refuse and remove keys alike.
    for (int size : {1, 24, 31, 32, 33, 34, 70}) {
        auto cols = TQXCols::Create();
        for (int i = 0; i < size; ++i)
            ASSERT_NE(cols->Add(TQXValue(i), QStringLiteral("Field_%1").arg(i)), nullptr) << size;
        for (int i = 0; i < size; ++i) {
            const TQXColPtr c = cols->Item(QStringLiteral("FIELD_%1").arg(i));
            ASSERT_NE(c, nullptr) << size << " " << i;
            EXPECT_EQ(c->Value().toInteger(), i);
            EXPECT_EQ(cols->Add(TQXValue(-1), QStringLiteral("field_%1").arg(i)), nullptr);
        }
        EXPECT_TRUE(cols->Remove(QStringLiteral("field_0")));
        EXPECT_FALSE(cols->Exists(QStringLiteral("Field_0")));
        EXPECT_NE(cols->Add(TQXValue(0), QStringLiteral("Field_0")), nullptr);
        EXPECT_EQ(cols->Count(), size);
        EXPECT_EQ(cols->Item(size)->Key(), QStringLiteral("Field_0"));
    }
}

TEST(TQXCols, HundredThousandKeyedAddsAndLookupsAreFast)
{
    QStringList keys, lookups;
    for (int i = 0; i < 100000; ++i) {
        keys << QStringLiteral("Key_%1").arg(i);
        lookups << QStringLiteral("KEY_%1").arg(i);
    }
    auto cols = TQXCols::Create();
    // Processor time, not wall time: the test runs beside others and must not fail for their load.
    const std::clock_t start = std::clock();
    for (int i = 0; i < 100000; ++i)
        cols->Add(TQXValue(i), keys[i]);
    int found = 0;
    for (int i = 0; i < 100000; ++i)
        found += cols->Exists(lookups[i]) ? 1 : 0;
    const double ms = (std::clock() - start) * 1000.0 / CLOCKS_PER_SEC;
    EXPECT_EQ(found, 100000);
    EXPECT_LT(ms, 1000);
}

TEST(TQXValue, ScalarsTurnIntoTextAsCStrDoes)
{
    EXPECT_EQ(TQXValue(true).ToText(), QStringLiteral("True"));
    EXPECT_EQ(TQXValue(false).ToText(), QStringLiteral("False"));
    EXPECT_EQ(TQXValue(3).ToText(), QStringLiteral("3"));
    EXPECT_EQ(TQXValue(2.5).ToText(), QStringLiteral("2.5"));
    EXPECT_EQ(TQXValue(-0.25).ToText(), QStringLiteral("-0.25"));
    EXPECT_EQ(TQXValue(1e20).ToText(), QStringLiteral("1E+20"));
    EXPECT_EQ(TQXValue(1.0 / 3.0).ToText(), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(TQXValue().ToText(), QString());
    EXPECT_EQ(TQXValue::Null().ToText(), QString());
    EXPECT_EQ(TQXValue(QDateTime(QDate(2020, 1, 31), QTime(0, 0))).ToText(), QStringLiteral("1/31/2020"));
    EXPECT_EQ(TQXValue(QDateTime(QDate(2020, 1, 31), QTime(15, 4, 5))).ToText(),
              QStringLiteral("1/31/2020 3:04:05 PM"));
}

TEST(TQXUnique, KeepsItsDefaults)
{
    TQXUnique u;
    EXPECT_EQ(u.Length(), 10);
    EXPECT_TRUE(u.BeginDate().isValid());
    EXPECT_EQ(u.GetUnique(), QString());
}
