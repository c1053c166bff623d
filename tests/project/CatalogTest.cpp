#include "EngineFixture.h"
#include "QVNDatabase.h"

#include <gtest/gtest.h>

namespace {
QString Field(const TQXRowsPtr& rows, const QString& row, const char* field)
{
    const TQXRowPtr r = rows->Item(row);
    return r ? r->Cols()->Text(QString::fromLatin1(field)) : QStringLiteral("<no row %1>").arg(row);
}
} // namespace

/// The shipped sample schema read through each driver's catalog.
class CatalogTest : public EngineTest
{
protected:
    void SetUp() override
    {
        const QString sql = SampleSql();
        ASSERT_FALSE(sql.isEmpty());
        m_db.AdoConnectString = MakeDatabase(sql);
        ASSERT_TRUE(m_db.TestConnect()) << m_db.Exceptions.ToString().toStdString();
    }
    QVNDatabase m_db;
};

TEST_P(CatalogTest, TablesAndViewsAreListedWithTheirKindUnderTheSchemaFieldNames)
{
    TQXRowsPtr tables = m_db.GetTables();
    EXPECT_TRUE(m_db.Exceptions.IsEmpty()) << m_db.Exceptions.ToString().toStdString();
    EXPECT_EQ(tables->Count(), 11);
    EXPECT_EQ(Field(tables, QStringLiteral("orders"), "TABLE_TYPE"), QStringLiteral("TABLE"));
    EXPECT_EQ(Field(tables, QStringLiteral("v_order_totals"), "TABLE_TYPE"), QStringLiteral("VIEW"));
    const TQXColsPtr first = tables->Item(1)->Cols();
    EXPECT_TRUE(first->Exists(QStringLiteral("TABLE_CATALOG")));
    EXPECT_TRUE(first->Exists(QStringLiteral("TABLE_SCHEMA")));
    EXPECT_TRUE(first->Exists(QStringLiteral("DESCRIPTION")));
    EXPECT_FALSE(first->Exists(QStringLiteral("TABLE_SCHEM")));
    if (IsPostgres()) {
        EXPECT_EQ(Field(tables, QStringLiteral("orders"), "TABLE_SCHEMA"), QStringLiteral("public"));
    }

    TQXRowsPtr views = m_db.GetTables(QStringLiteral("VIEW"));
    ASSERT_EQ(views->Count(), 1);
    EXPECT_EQ(views->Item(1)->Key(), QStringLiteral("v_order_totals"));
}

TEST_P(CatalogTest, ColumnsCarryTypeLengthPrecisionScaleNullabilityAndDefault)
{
    TQXRowsPtr c = m_db.GetColumns(QStringLiteral("products"));
    ASSERT_EQ(c->Count(), 10);
    // In the catalog's order, under the seven fields the import relies on and what the database
    // itself says of the column.
    EXPECT_EQ(c->Item(1)->Key(), QStringLiteral("product_id"));
    EXPECT_EQ(c->Item(1)->Cols()->Count(), 14);
    EXPECT_EQ(c->Item(10)->Key(), QStringLiteral("description"));

    EXPECT_EQ(Field(c, QStringLiteral("product_id"), "DATA_TYPE"), QStringLiteral("3"));
    EXPECT_EQ(Field(c, QStringLiteral("product_id"), "IS_NULLABLE"), QStringLiteral("False"));
    EXPECT_EQ(Field(c, QStringLiteral("product_id"), "NUMERIC_SCALE"), QStringLiteral("0"));

    const QString sku = Field(c, QStringLiteral("sku"), "DATA_TYPE");
    EXPECT_TRUE(sku == QLatin1String("200") || sku == QLatin1String("202")) << sku.toStdString();
    EXPECT_EQ(Field(c, QStringLiteral("sku"), "CHARACTER_MAXIMUM_LENGTH"), QStringLiteral("20"));
    EXPECT_EQ(Field(c, QStringLiteral("sku"), "NUMERIC_PRECISION"), QString());

    EXPECT_EQ(Field(c, QStringLiteral("unit_price"), "NUMERIC_PRECISION"), QStringLiteral("10"));
    EXPECT_EQ(Field(c, QStringLiteral("unit_price"), "NUMERIC_SCALE"), QStringLiteral("2"));
    EXPECT_EQ(Field(c, QStringLiteral("unit_price"), "CHARACTER_MAXIMUM_LENGTH"), QString());
    EXPECT_EQ(Field(c, QStringLiteral("unit_price"), "COLUMN_DEFAULT"), QStringLiteral("0"));

    EXPECT_EQ(Field(c, QStringLiteral("discontinued"), "DATA_TYPE"), QStringLiteral("11"));
    EXPECT_EQ(Field(c, QStringLiteral("discontinued"), "COLUMN_DEFAULT").toLower(), QStringLiteral("false"));

    EXPECT_EQ(Field(c, QStringLiteral("created_on"), "DATA_TYPE"), QStringLiteral("133"));
    EXPECT_EQ(Field(c, QStringLiteral("created_on"), "IS_NULLABLE"), QStringLiteral("True"));
    EXPECT_EQ(Field(c, QStringLiteral("created_on"), "COLUMN_DEFAULT"), QString()); // no default, not "NULL"

    const QString text = Field(c, QStringLiteral("description"), "DATA_TYPE");
    EXPECT_TRUE(text == QLatin1String("201") || text == QLatin1String("203")) << text.toStdString();
    // Long text is unbounded: no made-up length where the database knows there is none.
    EXPECT_EQ(Field(c, QStringLiteral("description"), "UNBOUNDED"), QStringLiteral("1"));
    const QString size = Field(c, QStringLiteral("description"), "CHARACTER_MAXIMUM_LENGTH");
    EXPECT_TRUE(size.isEmpty() || size.toLongLong() >= 101) << size.toStdString();

    // A quoted default reads as its text, without the casts the server adds.
    EXPECT_EQ(Field(m_db.GetColumns(QStringLiteral("orders")), QStringLiteral("status"), "COLUMN_DEFAULT"),
              QStringLiteral("NEW"));
    // The SQLite driver's numeric-as-double and integer precision are put right.
    EXPECT_EQ(Field(c, QStringLiteral("unit_price"), "DATA_TYPE"), QStringLiteral("131"));
    EXPECT_EQ(Field(c, QStringLiteral("product_id"), "NUMERIC_PRECISION"), QStringLiteral("10"));
}

TEST_P(CatalogTest, AViewsColumnsAreListed)
{
    m_db.GetTables();
    TQXRowsPtr c = m_db.GetColumns(QStringLiteral("v_order_totals"));
    ASSERT_EQ(c->Count(), 4);
    EXPECT_EQ(c->Item(2)->Key(), QStringLiteral("customer_name"));
}

TEST_P(CatalogTest, AnUnknownTableGivesAnEmptySetAndNoError)
{
    EXPECT_EQ(m_db.GetColumns(QStringLiteral("no_such_table"))->Count(), 0);
    EXPECT_TRUE(m_db.Exceptions.IsEmpty());
    // A name that only matches as a search pattern ("_" is a wildcard) is not taken for another table.
    EXPECT_EQ(m_db.GetColumns(QStringLiteral("order_item_"))->Count(), 0);
}

TEST_P(CatalogTest, PrimaryKeysInKeyOrder)
{
    TQXRowsPtr pk = m_db.GetPrimaryKeys(QStringLiteral("order_items"));
    ASSERT_EQ(pk->Count(), 2);
    EXPECT_EQ(pk->Item(1)->Key(), QStringLiteral("order_id"));
    EXPECT_EQ(pk->Item(2)->Key(), QStringLiteral("line_no"));
    EXPECT_EQ(m_db.GetPrimaryKeys(QStringLiteral("v_order_totals"))->Count(), 0);
}

TEST_P(CatalogTest, ForeignKeysAreKeyedByTheirColumnAndAColumnInTwoKeysKeepsTheFirst)
{
    TQXRowsPtr fk = m_db.GetForeignKeys(QStringLiteral("shipment_items"));
    ASSERT_EQ(fk->Count(), 3);
    EXPECT_EQ(Field(fk, QStringLiteral("shipment_id"), "PK_TABLE_NAME"), QStringLiteral("shipments"));
    EXPECT_EQ(Field(fk, QStringLiteral("line_no"), "PK_TABLE_NAME"), QStringLiteral("order_items"));
    EXPECT_EQ(Field(fk, QStringLiteral("line_no"), "PK_COLUMN_NAME"), QStringLiteral("line_no"));
    const QString orderTarget = Field(fk, QStringLiteral("order_id"), "PK_TABLE_NAME");
    EXPECT_TRUE(orderTarget == QLatin1String("orders") || orderTarget == QLatin1String("order_items"));

    TQXRowsPtr self = m_db.GetForeignKeys(QStringLiteral("categories"));
    EXPECT_EQ(Field(self, QStringLiteral("parent_id"), "PK_TABLE_NAME"), QStringLiteral("categories"));
    EXPECT_EQ(Field(self, QStringLiteral("parent_id"), "PK_COLUMN_NAME"), QStringLiteral("category_id"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, CatalogTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

TEST(PostgresCatalog, TablesOfTheSameNameInTwoSchemasKeepTheirOwnColumns)
{
    QString error;
    const QString cs = Pg::CreateDatabase(QStringLiteral("CREATE TABLE a_b (id INTEGER PRIMARY KEY, x TEXT);"
                                                         "CREATE TABLE axb (other INTEGER);"
                                                         "CREATE SCHEMA zz; CREATE TABLE zz.a_b (other INTEGER);"),
                                          error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    QVNDatabase db;
    db.AdoConnectString = cs;
    TQXRowsPtr tables = db.GetTables();
    // Both are kept, keyed with their schemas; a name only one schema holds stays bare.
    EXPECT_EQ(Field(tables, QStringLiteral("public.a_b"), "TABLE_SCHEMA"), QStringLiteral("public"));
    EXPECT_EQ(Field(tables, QStringLiteral("zz.a_b"), "TABLE_SCHEMA"), QStringLiteral("zz"));
    EXPECT_EQ(Field(tables, QStringLiteral("zz.a_b"), "TABLE_NAME"), QStringLiteral("a_b"));
    EXPECT_TRUE(tables->Exists(QStringLiteral("axb")));
    TQXRowsPtr columns = db.GetColumns(QStringLiteral("public.a_b"));
    ASSERT_EQ(columns->Count(), 2);
    EXPECT_TRUE(columns->Exists(QStringLiteral("x")));
    EXPECT_EQ(db.GetPrimaryKeys(QStringLiteral("public.a_b"))->Count(), 1);
    columns = db.GetColumns(QStringLiteral("zz.a_b"));
    ASSERT_EQ(columns->Count(), 1);
    EXPECT_TRUE(columns->Exists(QStringLiteral("other")));
    EXPECT_EQ(db.GetPrimaryKeys(QStringLiteral("zz.a_b"))->Count(), 0);
    // The bare name still finds the first one listed, as a project saved before expects.
    EXPECT_EQ(db.GetColumns(QStringLiteral("a_b"))->Count(), 2);
}

TEST_P(CatalogTest, IndexesAreFoundByName)
{
    m_db.GetTables();
    TQXRowsPtr all =
        m_db.GetSchema(QVNDatabase::SchemaIndexes, {QString(), QString(), QString(), QString(), "products"});
    QString skuIndex;
    for (const TQXRowPtr& row : *all) {
        if (row->Cols()->Text(QStringLiteral("COLUMN_NAME")) == QLatin1String("sku"))
            skuIndex = row->Cols()->Text(QStringLiteral("INDEX_NAME"));
    }
    ASSERT_FALSE(skuIndex.isEmpty());
    TQXRowsPtr byName = m_db.GetIndexes(skuIndex);
    ASSERT_EQ(byName->Count(), 1);
    EXPECT_EQ(byName->Item(1)->Key(), QStringLiteral("sku"));
    EXPECT_EQ(byName->Item(1)->Cols()->Text(QStringLiteral("TABLE_NAME")), QStringLiteral("products"));
    EXPECT_TRUE(byName->Item(1)->Cols()->Exists(QStringLiteral("TABLE_SCHEMA")));
    EXPECT_EQ(m_db.GetIndexes(QStringLiteral("no_such_index"))->Count(), 0);
}
