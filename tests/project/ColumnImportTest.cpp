#include "EngineFixture.h"
#include "QVNProject.h"

#include <gtest/gtest.h>

TEST(AutoColumnType, CodesFollowTheScreenKindAndTypeClass)
{
    EXPECT_EQ(QVNProject::AutoColumnType("update", "string", "100"), QStringLiteral("1"));
    EXPECT_EQ(QVNProject::AutoColumnType("update", "string", "101"), QStringLiteral("2"));
    EXPECT_EQ(QVNProject::AutoColumnType("update", "string", "100.5"), QStringLiteral("1")); // half to even
    EXPECT_EQ(QVNProject::AutoColumnType("update", "string", "101.5"), QStringLiteral("2"));
    EXPECT_EQ(QVNProject::AutoColumnType("UPDATE", "Boolean", ""), QStringLiteral("6"));
    EXPECT_EQ(QVNProject::AutoColumnType("update", "date", ""), QStringLiteral("3"));
    EXPECT_EQ(QVNProject::AutoColumnType("update", "numeric", ""), QStringLiteral("4"));
    EXPECT_EQ(QVNProject::AutoColumnType("update", "other", ""), QStringLiteral("1"));
    EXPECT_EQ(QVNProject::AutoColumnType("search", "boolean", ""), QStringLiteral("5"));
    EXPECT_EQ(QVNProject::AutoColumnType("search", "string", "5000"), QStringLiteral("1"));
    EXPECT_EQ(QVNProject::AutoColumnType("main", "date", ""), QStringLiteral("4"));
    EXPECT_EQ(QVNProject::AutoColumnType("show", "numeric", ""), QStringLiteral("1"));
    EXPECT_EQ(QVNProject::AutoColumnType("detail", "string", ""), QString());
}

TEST(ColumnConverts, PairsWithBothPartsInOrderWithoutTrimming)
{
    TQXRowsPtr two = QVNProject::GetColumnConverts("A\tB", "1\t2");
    EXPECT_EQ(two->Tag(), QStringLiteral("COLUMN_CONVERTS"));
    ASSERT_EQ(two->Count(), 2);
    EXPECT_EQ(two->Item(1)->Cols()->Item(1)->Key(), QStringLiteral("CC_CAPTION"));
    EXPECT_EQ(two->Item(2)->Cols()->Text("CC_VALUE"), QStringLiteral("2"));
    EXPECT_EQ(QVNProject::GetColumnConverts("A\tB", "1")->Count(), 1);
    EXPECT_EQ(QVNProject::GetColumnConverts("", "")->Count(), 0);
    TQXRowsPtr gap = QVNProject::GetColumnConverts(" x \t\tz", " 1 \t2\t3");
    ASSERT_EQ(gap->Count(), 2);
    EXPECT_EQ(gap->Item(1)->Cols()->Text("CC_CAPTION"), QStringLiteral(" x "));
    EXPECT_EQ(gap->Item(2)->Cols()->Text("CC_CAPTION"), QStringLiteral("z"));
}

TEST(OneTypeColumns, SharesTheRecordsOfCodedColumns)
{
    auto columns = TQXRows::Create();
    for (const char* code : {"1", "0", "", " 3 "}) {
        auto c = TQXCols::Create();
        c->Add(QString::fromLatin1(code), "CL_UPDATE_TYPE");
        columns->Add(c, QStringLiteral("c%1").arg(columns->Count()));
    }
    TQXRowsPtr update = QVNProject::GetOneTypeColumns("UPDATE_COLUMNS", columns, "CL_UPDATE_TYPE");
    EXPECT_EQ(update->Tag(), QStringLiteral("UPDATE_COLUMNS"));
    ASSERT_EQ(update->Count(), 2);
    EXPECT_EQ(update->Item(2)->Key(), QStringLiteral("c3"));
    EXPECT_EQ(update->Item(1)->Cols(), columns->Item(1)->Cols()); // the same record, not a copy
}

namespace {
const QString kTypes = QStringLiteral(
    "CREATE TABLE typed (s100 VARCHAR(100), s101 VARCHAR(101), flag BOOLEAN, n18 NUMERIC(18,4), n18z NUMERIC(18,0),"
    " d DATE, memo TEXT, code VARCHAR(10) NOT NULL DEFAULT 'AB', s300 VARCHAR(300));"
    "CREATE TABLE decimals (dec DECIMAL(8,3), whole DECIMAL(6), free NUMERIC);"
    "CREATE TABLE keyed (c VARCHAR(5), b INTEGER NOT NULL, a INTEGER NOT NULL, PRIMARY KEY (b, a));"
    "CREATE TABLE other (oid INTEGER PRIMARY KEY);"
    "CREATE TABLE child (id INTEGER PRIMARY KEY, x INTEGER, y INTEGER,"
    " FOREIGN KEY (x, y) REFERENCES keyed (b, a), FOREIGN KEY (x) REFERENCES other (oid));");

/// Column import over a target holding a few shaped tables.
class ColumnImportTest : public EngineTest
{
protected:
    void SetUp() override
    {
        m_project.P_DATABASE = MakeDatabase(kTypes);
        m_project.ProjectDatabase().AdoConnectString = m_project.P_DATABASE;
        // The project's table list as GetTables would leave it, without a project file.
        m_project.TABLES = m_project.ProjectDatabase().GetTables();
        for (const TQXRowPtr& row : *m_project.TABLES) {
            row->Cols()->Add(QString(), "TL_PK");
            row->Cols()->Add(QStringLiteral("1"), "TL_PKTYPE");
            auto saved = TQXRows::Create();
            saved->SetTag("COLUMNS");
            row->Cols()->Add(saved, "COLUMNS");
        }
        ASSERT_EQ(m_project.TABLES->Count(), 5);
    }
    TQXColsPtr Column(const TQXRowsPtr& rows, const char* name)
    {
        TQXRowPtr row = rows->Item(QString::fromLatin1(name));
        return row ? row->Cols() : TQXCols::Create();
    }
    QVNProject m_project;
};
} // namespace

TEST_P(ColumnImportTest, TypesLengthsAndDefaultCodes)
{
    TQXRowsPtr c = m_project.GetColumns("typed");
    EXPECT_EQ(c->Tag(), QStringLiteral("COLUMNS"));
    ASSERT_EQ(c->Count(), 9);
    const TQXColsPtr first = c->Item(1)->Cols();
    ASSERT_EQ(first->Count(), 28);
    QStringList keys;
    for (const TQXColPtr& col : *first)
        keys << col->Key();
    EXPECT_EQ(keys.join(','),
              QStringLiteral("CL_NAME,CL_PKMARK,CL_CNAME,CL_CNAME2,CL_DESC,CL_PK,CL_FK,CL_NULL,CL_TYPE,"
                             "CL_TYPE2,CL_LENGTH,CL_LENGTH2,CL_UPDATE_TYPE,CL_SEARCH_TYPE,CL_MAIN_TYPE,"
                             "CL_SHOW_TYPE,CL_DEFAULT,CL_CONVERT_CAPTION,CL_CONVERT_VALUE,CL_CONVERTS,CL_DBTYPE,"
                             "CL_DBBASE,CL_DBKIND,CL_IDENTITY,CL_GENERATED,CL_GENEXPR,CL_ENUMS,CL_EXTENSION"));

    EXPECT_EQ(Column(c, "s100")->Text("CL_UPDATE_TYPE"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "s101")->Text("CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(Column(c, "s101")->Text("CL_LENGTH2"), QStringLiteral("101"));
    EXPECT_EQ(Column(c, "s300")->Text("CL_LENGTH"), QStringLiteral("300"));
    EXPECT_TRUE(Column(c, "s300")->Text("CL_TYPE").startsWith(QStringLiteral("Var")))
        << Column(c, "s300")->Text("CL_TYPE").toStdString(); // not long text
    EXPECT_EQ(Column(c, "flag")->Text("CL_TYPE"), QStringLiteral("Boolean"));
    EXPECT_EQ(Column(c, "flag")->Text("CL_SEARCH_TYPE"), QStringLiteral("5"));
    EXPECT_EQ(Column(c, "flag")->Text("CL_UPDATE_TYPE"), QStringLiteral("6"));
    EXPECT_EQ(Column(c, "n18")->Text("CL_TYPE2"), QStringLiteral("numeric"));
    EXPECT_EQ(Column(c, "n18")->Text("CL_LENGTH"), QStringLiteral("18"));
    EXPECT_EQ(Column(c, "n18")->Text("CL_LENGTH2"), QStringLiteral("18,4"));
    EXPECT_EQ(Column(c, "n18z")->Text("CL_LENGTH2"), QStringLiteral("18"));
    EXPECT_EQ(Column(c, "d")->Text("CL_TYPE"), QStringLiteral("DBDate"));
    EXPECT_EQ(Column(c, "d")->Text("CL_LENGTH"), QString());
    EXPECT_EQ(Column(c, "d")->Text("CL_UPDATE_TYPE"), QStringLiteral("3"));
    EXPECT_EQ(Column(c, "memo")->Text("CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(Column(c, "memo")->Text("CL_NULL"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "code")->Text("CL_NULL"), QStringLiteral("0"));
    EXPECT_EQ(Column(c, "code")->Text("CL_DEFAULT"), QStringLiteral("AB"));
    EXPECT_EQ(Column(c, "code")->Text("CL_MAIN_TYPE"), QStringLiteral("4"));
    EXPECT_EQ(Column(c, "code")->Text("CL_SHOW_TYPE"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "code")->Text("CL_CNAME2"), QStringLiteral("code"));
}

TEST_P(ColumnImportTest, DecimalsKeepTheirDeclaredPrecisionAndScale)
{
    TQXRowsPtr c = m_project.GetColumns("decimals");
    for (const char* name : {"dec", "whole", "free"})
        EXPECT_EQ(Column(c, name)->Text("CL_TYPE2"), QStringLiteral("numeric")) << name;
    EXPECT_EQ(Column(c, "dec")->Text("CL_LENGTH"), QStringLiteral("8"));
    EXPECT_EQ(Column(c, "dec")->Text("CL_LENGTH2"), QStringLiteral("8,3"));
    EXPECT_EQ(Column(c, "whole")->Text("CL_LENGTH2"), QStringLiteral("6"));
    if (!IsPostgres()) { // the SQLite driver's sizes of an undeclared precision describe a double
        EXPECT_EQ(Column(c, "free")->Text("CL_LENGTH2"), QString());
    }
}

TEST_P(ColumnImportTest, WithoutAKeyNoColumnIsChosenAndNoneIsMarkedAsDatabaseKey)
{
    // Any column taken as the key of a table without one could match several rows.
    TQXRowsPtr c = m_project.GetColumns("typed");
    EXPECT_EQ(m_project.TABLES->Item("typed")->Cols()->Text("TL_PK"), QString());
    EXPECT_EQ(Column(c, "s100")->Text("CL_PKMARK"), QString());
    for (const TQXRowPtr& row : *c)
        EXPECT_EQ(row->Cols()->Text("CL_PK"), QStringLiteral("0"));
}

TEST_P(ColumnImportTest, ASavedKeyOfADroppedColumnGivesWayToTheDatabasesFirstKeyColumn)
{
    m_project.TABLES->Item("keyed")->Cols()->Item("TL_PK")->SetValue(QStringLiteral("dropped"));
    TQXRowsPtr c = m_project.GetColumns("keyed");
    EXPECT_EQ(m_project.TABLES->Item("keyed")->Cols()->Text("TL_PK"), QStringLiteral("b"));
    EXPECT_EQ(Column(c, "b")->Text("CL_PKMARK"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "a")->Text("CL_PKMARK"), QString());
    EXPECT_EQ(Column(c, "a")->Text("CL_PK"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "c")->Text("CL_PK"), QStringLiteral("0"));

    // A saved key that still exists stays the choice.
    m_project.TABLES->Item("keyed")->Cols()->Item("TL_PK")->SetValue(QStringLiteral("c"));
    c = m_project.GetColumns("keyed");
    EXPECT_EQ(m_project.TABLES->Item("keyed")->Cols()->Text("TL_PK"), QStringLiteral("c"));
    EXPECT_EQ(Column(c, "c")->Text("CL_PKMARK"), QStringLiteral("1"));
    EXPECT_EQ(Column(c, "b")->Text("CL_PKMARK"), QString());
}

TEST_P(ColumnImportTest, SavedAnnotationsWinExceptTypesWhichComeFromTheDatabase)
{
    TQXRowsPtr saved = m_project.TABLES->Item("typed")->Cols()->Item("COLUMNS")->Value().rows();
    auto note = TQXCols::Create();
    note->Add(QStringLiteral("s100"), "CL_NAME");
    note->Add(QStringLiteral("1"), "CL_PKMARK");
    note->Add(QStringLiteral(" 标题 "), "CL_CNAME");
    note->Add(QStringLiteral("0"), "CL_UPDATE_TYPE");
    note->Add(QStringLiteral("9"), "CL_SEARCH_TYPE");
    note->Add(QStringLiteral("dflt"), "CL_DEFAULT");
    note->Add(QStringLiteral("Yes\tNo"), "CL_CONVERT_CAPTION");
    note->Add(QStringLiteral("1\t0"), "CL_CONVERT_VALUE");
    note->Add(QStringLiteral("Boolean"), "CL_TYPE"); // stale; the database says otherwise
    saved->Add(note, "s100");
    m_project.TABLES->Item("typed")->Cols()->Item("TL_PK")->SetValue(QStringLiteral("d"));

    TQXRowsPtr c = m_project.GetColumns("typed");
    const TQXColsPtr s = Column(c, "s100");
    EXPECT_EQ(s->Text("CL_CNAME"), QStringLiteral("标题"));
    EXPECT_EQ(s->Text("CL_CNAME2"), QStringLiteral("标题"));
    EXPECT_EQ(s->Text("CL_PKMARK"), QString()); // the saved mark is not taken over
    EXPECT_EQ(s->Text("CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_EQ(s->Text("CL_SEARCH_TYPE"), QStringLiteral("9"));
    EXPECT_EQ(s->Text("CL_MAIN_TYPE"), QStringLiteral("4"));
    EXPECT_EQ(s->Text("CL_DEFAULT"), QStringLiteral("dflt"));
    EXPECT_EQ(s->Text("CL_TYPE2"), QStringLiteral("string"));
    EXPECT_EQ(s->Item("CL_CONVERTS")->Value().rows()->Count(), 2);
    EXPECT_FALSE(QVNProject::GetOneTypeColumns("UPDATE_COLUMNS", c, "CL_UPDATE_TYPE")->Exists("s100"));
    EXPECT_EQ(Column(c, "d")->Text("CL_PKMARK"), QStringLiteral("1"));
}

TEST_P(ColumnImportTest, ForeignKeysNameTableAndColumnAndAColumnInTwoKeysKeepsTheFirstReported)
{
    TQXRowsPtr fks = m_project.ProjectDatabase().GetForeignKeys("child");
    ASSERT_TRUE(fks->Exists("x"));
    const QString expected =
        fks->Item("x")->Cols()->Text("PK_TABLE_NAME") + '.' + fks->Item("x")->Cols()->Text("PK_COLUMN_NAME");
    TQXRowsPtr c = m_project.GetColumns("child");
    EXPECT_EQ(Column(c, "x")->Text("CL_FK"), expected);
    EXPECT_EQ(Column(c, "y")->Text("CL_FK"), QStringLiteral("keyed.a"));
    EXPECT_TRUE(expected == QLatin1String("keyed.b") || expected == QLatin1String("other.oid"))
        << expected.toStdString();
    EXPECT_EQ(Column(c, "id")->Text("CL_FK"), QString());
    EXPECT_EQ(Column(c, "id")->Text("CL_PK"), QStringLiteral("1"));
}

TEST_P(ColumnImportTest, ATableMissingFromTheProjectStillGetsColumnsAndAnUnreachableDatabaseGivesNone)
{
    m_project.TABLES = TQXRows::Create();
    EXPECT_EQ(m_project.GetColumns("keyed")->Count(), 3);
    m_project.ProjectDatabase().DisConnectFromServer();
    m_project.ProjectDatabase().AdoConnectString = SqliteConnection(m_dir.file("gone.db"));
    EXPECT_EQ(m_project.GetColumns("keyed")->Count(), 0);
    EXPECT_TRUE(m_project.Exceptions.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, ColumnImportTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);
