#include "ProjectTestSupport.h"
#include "QVNBuildCollector.h"
#include "QVNProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
/// A project over a PostgreSQL database shaped like a real one (tests/data/project/shop_pg.sql).
class RealSchemaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString script = QString::fromUtf8(readBytes(testDataDir() + QStringLiteral("/project/shop_pg.sql")));
        ASSERT_FALSE(script.isEmpty());
        QString error;
        const QString cs = Pg::CreateDatabase(script, error);
        ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
        m_file = m_dir.file(QStringLiteral("shop.qvn"));
        ASSERT_TRUE(m_project.NewProject(m_file)) << m_project.Exceptions.ToString().toStdString();
        m_project.SetProjectFile(m_file);
        m_project.P_DATABASE = cs;
        ASSERT_TRUE(m_project.GetTables()) << m_project.Exceptions.ToString().toStdString();
        ASSERT_TRUE(m_project.SaveProject("1", "商店", cs, QString(), QString(), QString(), m_project.TABLES))
            << m_project.Exceptions.ToString().toStdString();
    }
    QString Field(const QString& table, const QString& column, const char* field)
    {
        if (m_columns.first != table)
            m_columns = {table, m_project.GetColumns(table)};
        const TQXRowPtr row = m_columns.second->Item(column);
        return row ? row->Cols()->Text(QString::fromLatin1(field)) : QStringLiteral("<no column %1>").arg(column);
    }
    TempDir m_dir;
    QString m_file;
    QVNProject m_project;
    std::pair<QString, TQXRowsPtr> m_columns;
};
} // namespace

TEST_F(RealSchemaTest, TablesOfEverySchemaWithTheirKinds)
{
    const TQXRowsPtr& t = m_project.TABLES;
    EXPECT_EQ(t->Count(), 10);
    EXPECT_EQ(t->Item("OrderHeader")->Cols()->Text("TABLE_SCHEMA"), QStringLiteral("sales"));
    EXPECT_EQ(t->Item("product")->Cols()->Text("TABLE_SCHEMA"), QStringLiteral("Inventory"));
    EXPECT_EQ(t->Item("audit_log")->Cols()->Text("TABLE_TYPE"), QStringLiteral("TABLE"));
    EXPECT_EQ(t->Item("customer_list")->Cols()->Text("TABLE_TYPE"), QStringLiteral("VIEW"));
    ASSERT_TRUE(t->Exists("city_counts"));
    EXPECT_EQ(t->Item("customer")->Cols()->Text("TL_CNAME2"), QStringLiteral("customer"));
}

TEST_F(RealSchemaTest, ColumnTypesThroughDomainsEnumsArraysAndOddTypes)
{
    EXPECT_EQ(Field("customer", "customer_id", "CL_TYPE"), QStringLiteral("GUID"));
    EXPECT_EQ(Field("customer", "customer_id", "CL_DEFAULT"), QStringLiteral("gen_random_uuid()"));
    // Domains read as their base types.
    EXPECT_EQ(Field("customer", "email", "CL_TYPE2"), QStringLiteral("string"));
    EXPECT_EQ(Field("customer", "email", "CL_LENGTH"), QStringLiteral("120"));
    EXPECT_EQ(Field("customer", "email", "CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(Field("customer", "balance", "CL_TYPE"), QStringLiteral("Numeric"));
    EXPECT_EQ(Field("customer", "balance", "CL_LENGTH2"), QStringLiteral("12,4"));
    EXPECT_EQ(Field("customer", "active", "CL_TYPE"), QStringLiteral("Boolean"));
    EXPECT_EQ(Field("customer", "active", "CL_NULL"), QStringLiteral("0"));
    EXPECT_EQ(Field("customer", "active", "CL_DEFAULT"), QStringLiteral("true"));
    EXPECT_EQ(Field("customer", "mood", "CL_DEFAULT"), QStringLiteral("neutral"));
    EXPECT_EQ(Field("customer", "tags", "CL_TYPE2"), QStringLiteral("string"));
    EXPECT_EQ(Field("customer", "created", "CL_TYPE"), QStringLiteral("DBDate"));
    EXPECT_EQ(Field("customer", "created", "CL_UPDATE_TYPE"), QStringLiteral("3"));
    EXPECT_EQ(Field("customer", "wake_time", "CL_TYPE2"), QStringLiteral("date"));
    EXPECT_EQ(Field("customer", "avatar", "CL_TYPE2"), QStringLiteral("string"));
    EXPECT_EQ(Field("customer", "notes", "CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(Field("customer", "small_note", "CL_UPDATE_TYPE"), QStringLiteral("1"));
    EXPECT_EQ(Field("customer", "big_note", "CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(Field("customer", "MixedCase", "CL_TYPE"), QStringLiteral("long"));
    EXPECT_EQ(Field("customer", "select", "CL_LENGTH"), QStringLiteral("10"));
    EXPECT_EQ(Field("customer", "home_city", "CL_FK"), QStringLiteral("city.city_id"));
    // Every column has a name the program knows, whatever the driver made of its type.
    const TQXRowsPtr customer = m_project.GetColumns("customer");
    for (const TQXRowPtr& row : *customer)
        EXPECT_NE(row->Cols()->Text("CL_TYPE"), QStringLiteral("*UNKNOWN*")) << row->Key().toStdString();
    EXPECT_EQ(Field("city", "city_id", "CL_PK"), QStringLiteral("1")); // an identity key
    EXPECT_EQ(Field("city", "user", "CL_DEFAULT"), QStringLiteral("admin"));
    EXPECT_EQ(Field("city", "area_km2", "CL_LENGTH2"), QStringLiteral("12,4"));
}

TEST_F(RealSchemaTest, CompositeAndOverlappingKeys)
{
    // The key's first column in key order, not in column order.
    EXPECT_EQ(Field("OrderHeader", "StoreNo", "CL_PKMARK"), QStringLiteral("1"));
    EXPECT_EQ(Field("OrderHeader", "OrderId", "CL_PK"), QStringLiteral("1"));
    EXPECT_EQ(Field("OrderHeader", "OrderId", "CL_PKMARK"), QString());
    EXPECT_TRUE(Field("OrderHeader", "OrderId", "CL_DEFAULT").startsWith(QStringLiteral("nextval(")));
    EXPECT_EQ(m_project.TABLES->Item("OrderHeader")->Cols()->Text("TL_PK"), QStringLiteral("StoreNo"));

    EXPECT_EQ(Field("order_line", "store_no", "CL_FK"), QStringLiteral("OrderHeader.StoreNo"));
    EXPECT_EQ(Field("order_line", "order_id", "CL_FK"), QStringLiteral("OrderHeader.OrderId"));
    // In two foreign keys: the first one reported (by referenced table) stays.
    EXPECT_EQ(Field("order_line", "product_code", "CL_FK"), QStringLiteral("product.product_code"));
    EXPECT_EQ(Field("order_line", "warehouse_code", "CL_FK"), QStringLiteral("stock.warehouse_code"));
    EXPECT_EQ(Field("order_line", "qty", "CL_LENGTH2"), QStringLiteral("10,3"));

    // No primary key: none is a database key and no column is made the working key (it could
    // match several rows).
    EXPECT_EQ(Field("audit_log", "at", "CL_PKMARK"), QString());
    EXPECT_EQ(m_project.TABLES->Item("audit_log")->Cols()->Text("TL_PK"), QString());
    const TQXRowsPtr audit = m_project.GetColumns("audit_log");
    for (const TQXRowPtr& row : *audit)
        EXPECT_EQ(row->Cols()->Text("CL_PK"), QStringLiteral("0"));
    EXPECT_EQ(Field("audit_log", "desc", "CL_TYPE2"), QStringLiteral("string"));
}

TEST_F(RealSchemaTest, CollectsInTreeOrderWithTheKeyKindRule)
{
    m_project.TABLES->Item("OrderHeader")->Cols()->Item("TL_PKTYPE")->SetValue(QStringLiteral("2"));
    m_project.TABLES->Item("OrderHeader")->Cols()->Item("TL_PK")->SetValue(QStringLiteral("OrderId"));
    ASSERT_TRUE(
        m_project.SaveProject("1", "商店", m_project.P_DATABASE, QString(), QString(), QString(), m_project.TABLES));
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(m_file, {"city_counts", "customer_list", "order_line", "OrderHeader"}, tables,
                                  variables, folder))
        << collector.Exceptions.ToString().toStdString();
    QStringList order;
    for (const TQXRowPtr& row : *tables)
        order << row->Key();
    // Tables first, then views (a materialized one too), as the tree shows them.
    EXPECT_EQ(order.join(','), QStringLiteral("OrderHeader,order_line,city_counts,customer_list"));
    const TQXColsPtr header = tables->Item("OrderHeader")->Cols();
    EXPECT_EQ(header->Text("TL_PK"), QStringLiteral("OrderId"));
    const TQXRowsPtr columns = header->Item("COLUMNS")->Value().rows();
    EXPECT_EQ(columns->Item("OrderId")->Cols()->Text("CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_FALSE(header->Item("UPDATE_COLUMNS")->Value().rows()->Exists("OrderId"));
    EXPECT_TRUE(header->Item("UPDATE_COLUMNS")->Value().rows()->Exists("StoreNo"));
    EXPECT_EQ(variables->Text("P_NAME"), QStringLiteral("商店"));
}

TEST_F(RealSchemaTest, CliColumnsFindsATableNamedInOtherLetterCase)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.file(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(AppDir() + QStringLiteral("quorvin-cli"), {"columns", m_file, "orderheader"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("StoreNo"))) << out.toStdString();
}
