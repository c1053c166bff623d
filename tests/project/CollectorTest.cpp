#include "Mdl_Main.h"
#include "ProjectTestSupport.h"
#include "QVNBuildCollector.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "QVNSampleProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <array>

namespace {
/// The sample project made the way the first run makes it, in a private folder.
class SampleProjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(QVNSampleProject::DatabaseFile(AppDir()))) << "the build lays out the sample";
        QVNError errors;
        ASSERT_TRUE(QVNSampleProject::Ensure(AppDir(), m_dir.path(), m_dir.file("out"), errors))
            << errors.ToString().toStdString();
        m_file = QVNSampleProject::ProjectFile(m_dir.path());
    }
    TempDir m_dir;
    QString m_file;
};
} // namespace

TEST_F(SampleProjectTest, PointsAtTheSampleDatabaseByItsRealPathAndIsLeftAloneAfterwards)
{
    QVNProject p;
    p.SetProjectFile(m_file);
    ASSERT_TRUE(p.GetProjectInfo());
    const QString db = QFileInfo(QVNSampleProject::DatabaseFile(AppDir())).absoluteFilePath();
    EXPECT_TRUE(p.P_DATABASE.contains(db)) << p.P_DATABASE.toStdString();
    EXPECT_EQ(p.P_PATH, m_dir.file("out") + QStringLiteral("/sample/"));
    ASSERT_TRUE(p.GetTables()) << p.Exceptions.ToString().toStdString();
    EXPECT_EQ(p.TABLES->Count(), 11);
    EXPECT_FALSE(QFile::exists(m_file + QStringLiteral(".bak")));
    // The annotations shipped with the sample came along.
    EXPECT_EQ(p.TABLES->Item("categories")->Cols()->Text("TL_CNAME"), QStringLiteral("商品类别"));
    TQXRowsPtr columns = p.GetColumns("suppliers");
    EXPECT_EQ(columns->Item("name")->Cols()->Text("CL_CNAME2"), QStringLiteral("供应商名称"));
    EXPECT_EQ(columns->Item("active")->Cols()->Item("CL_CONVERTS")->Value().rows()->Count(), 2);
    EXPECT_EQ(columns->Item("active")->Cols()->Text("CL_DEFAULT"), QStringLiteral("TRUE")); // from the database

    const QByteArray before = readBytes(m_file);
    QVNError errors;
    EXPECT_TRUE(QVNSampleProject::Ensure(AppDir(), m_dir.path(), QString(), errors));
    EXPECT_EQ(readBytes(m_file), before);
}

TEST_F(SampleProjectTest, AMovedApplicationFolderIsFollowed)
{
    TempDir moved;
    ASSERT_TRUE(QDir().mkpath(moved.file("sample")));
    ASSERT_TRUE(QFile::copy(QVNSampleProject::DatabaseFile(AppDir()), QVNSampleProject::DatabaseFile(moved.path())));
    ASSERT_TRUE(QFile::copy(AppDir() + "system.qvnm", moved.file("system.qvnm")));
    // Point the project at a sample database that no longer exists, as after a move.
    {
        QVNProject p;
        p.SetProjectFile(m_file);
        ASSERT_TRUE(p.GetProjectInfo());
        ASSERT_TRUE(p.GetTables());
        ASSERT_TRUE(p.SaveProject(p.P_NO, p.P_NAME, QVNSampleProject::ConnectionString(m_dir.file("old")), QString(),
                                  QString(), p.P_PATH, p.TABLES));
    }
    QVNError errors;
    ASSERT_TRUE(QVNSampleProject::Ensure(moved.path(), m_dir.path(), QString(), errors))
        << errors.ToString().toStdString();
    QVNProject p;
    p.SetProjectFile(m_file);
    ASSERT_TRUE(p.GetProjectInfo());
    EXPECT_TRUE(p.P_DATABASE.contains(QVNSampleProject::DatabaseFile(moved.path()))) << p.P_DATABASE.toStdString();
    EXPECT_TRUE(p.GetTables());
}

TEST_F(SampleProjectTest, CollectsWhatABuildNeeds)
{
    // Key kind "2" on orders: its key column leaves the update screen.
    {
        QVNProject p;
        p.SetProjectFile(m_file);
        ASSERT_TRUE(p.GetProjectInfo());
        ASSERT_TRUE(p.GetTables());
        p.TABLES->Item("orders")->Cols()->Item("TL_PKTYPE")->SetValue(QStringLiteral("2"));
        ASSERT_TRUE(p.SaveProject(p.P_NO, p.P_NAME, p.P_DATABASE, p.P_USERID, p.P_PWD, p.P_PATH, p.TABLES));
    }
    QVNBuildCollector collector;
    QStringList progress;
    collector.Progress = [&](const QString& message, bool&) { progress << message; };
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(m_file, {"ORDERS", "customers"}, tables, variables, folder))
        << collector.Exceptions.ToString().toStdString();
    EXPECT_EQ(tables->Tag(), QStringLiteral("TABLES"));
    ASSERT_EQ(tables->Count(), 2);
    EXPECT_EQ(tables->Item(1)->Key(), QStringLiteral("customers")); // the project's order
    ASSERT_EQ(progress.size(), 2);
    // Plain words: which table of how many.
    EXPECT_EQ(progress.at(0), QStringLiteral("Reading the columns and keys of table 1 of 2: customers"));

    const TQXColsPtr orders = tables->Item("orders")->Cols();
    EXPECT_EQ(orders->Text("TL_PK"), QStringLiteral("order_id"));
    TQXRowsPtr columns = orders->Item("COLUMNS")->Value().rows();
    ASSERT_TRUE(columns);
    EXPECT_EQ(columns->Item("order_id")->Cols()->Text("CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_EQ(columns->Item("customer_id")->Cols()->Text("CL_FK"), QStringLiteral("customers.customer_id"));
    TQXRowsPtr update = orders->Item("UPDATE_COLUMNS")->Value().rows();
    EXPECT_EQ(update->Tag(), QStringLiteral("UPDATE_COLUMNS"));
    EXPECT_FALSE(update->Exists("order_id"));
    EXPECT_EQ(update->Count(), columns->Count() - 1);
    EXPECT_EQ(update->Item("status")->Cols(), columns->Item("status")->Cols());
    EXPECT_EQ(orders->Item("SHOW_COLUMNS")->Value().rows()->Count(), columns->Count());
    QStringList order;
    for (const TQXColPtr& c : *orders)
        order << c->Key();
    EXPECT_EQ(order.mid(order.size() - 16).join(','),
              QStringLiteral(
                  "COLUMNS,TL_SCHEMA,TL_OBJECT,TL_EXTENSION,UPDATE_COLUMNS,SEARCH_COLUMNS,MAIN_COLUMNS,SHOW_COLUMNS,"
                  "FOREIGN_KEYS,PK_COLUMNS,KEY_COLUMNS,TL_KEYSOURCE,INDEXES,CHECKS,EXTENSIONS,ENUM_TYPES"));
    EXPECT_EQ(orders->Item("KEY_COLUMNS")->Value().rows()->Item(1)->Cols(), columns->Item("order_id")->Cols());
    EXPECT_EQ(orders->Text("TL_KEYSOURCE"), QStringLiteral("database"));
    // Kind "1" keeps the stored code of the key column.
    EXPECT_NE(tables->Item("customers")
                  ->Cols()
                  ->Item("COLUMNS")
                  ->Value()
                  .rows()
                  ->Item("customer_id")
                  ->Cols()
                  ->Text("CL_UPDATE_TYPE"),
              QStringLiteral("0"));

    QStringList names;
    for (const TQXColPtr& c : *variables)
        names << c->Key();
    EXPECT_EQ(names.join(','), QStringLiteral("P_NO,P_NAME,P_DATABASE,P_USERID,P_PWD,P_PATH,P_CONNECTIONSTRING"));
    EXPECT_EQ(folder, variables->Text("P_PATH"));
    EXPECT_EQ(variables->Text("P_CONNECTIONSTRING"), variables->Text("P_DATABASE"));
}

TEST_F(SampleProjectTest, AllTablesMeansEveryTableButNoViewUnlessViewsAreAskedFor)
{
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(m_file, {}, tables, variables, folder));
    EXPECT_EQ(tables->Count(), 10);
    EXPECT_FALSE(tables->Exists("v_order_totals"));
    // A view is collected when named.
    ASSERT_TRUE(collector.Collect(m_file, {"v_order_totals"}, tables, variables, folder));
    EXPECT_EQ(tables->Item(1)->Cols()->Item("COLUMNS")->Value().rows()->Count(), 4);
    // Asked for, every view comes after the tables.
    collector.IncludeViews = true;
    ASSERT_TRUE(collector.Collect(m_file, {}, tables, variables, folder));
    ASSERT_EQ(tables->Count(), 11);
    EXPECT_EQ(tables->Item(11)->Key(), QStringLiteral("v_order_totals"));
}

TEST_F(SampleProjectTest, UnknownTablesAreAllReportedAndNothingIsCollected)
{
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    EXPECT_FALSE(collector.Collect(m_file, {"orders", "nope", "nada"}, tables, variables, folder));
    EXPECT_EQ(collector.Exceptions.Count(), 2);
    EXPECT_EQ(collector.UnknownTables(), QStringList({"nope", "nada"}));
    EXPECT_TRUE(collector.Exceptions.ToString().contains("nope"));
    EXPECT_EQ(tables->Count(), 0);
}

TEST_F(SampleProjectTest, CancelStopsTheCollection)
{
    QVNBuildCollector collector;
    int calls = 0;
    collector.Progress = [&](const QString&, bool& cancel) { cancel = ++calls == 2; };
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    EXPECT_FALSE(collector.Collect(m_file, {}, tables, variables, folder));
    EXPECT_TRUE(collector.Canceled());
    EXPECT_EQ(calls, 2);
}

namespace {
/// A table record for AddExtensions: its owning extension and columns as "name:kind:type:extension",
/// an enum's labels after a further ":" joined by "|".
TQXRowPtr FirstUseTable(const TQXRowsPtr& tables, const QString& name, const QString& owner, const QStringList& columns)
{
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("COLUMNS"));
    for (const QString& spec : columns) {
        const QStringList f = spec.split(QLatin1Char(':'));
        auto c = TQXCols::Create();
        c->Add(f.value(0), QStringLiteral("CL_NAME"));
        c->Add(f.value(1), QStringLiteral("CL_DBKIND"));
        c->Add(f.value(2), QStringLiteral("CL_DBTYPE"));
        c->Add(f.value(3), QStringLiteral("CL_EXTENSION"));
        auto labels = TQXRows::Create();
        labels->SetTag(QStringLiteral("CL_ENUMS"));
        for (const QString& label : f.value(4).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            auto l = TQXCols::Create();
            l->Add(label, QStringLiteral("EV_VALUE"));
            labels->Add(l);
        }
        c->Add(labels, QStringLiteral("CL_ENUMS"));
        rows->Add(c, f.value(0));
    }
    auto t = TQXCols::Create();
    t->Add(owner, QStringLiteral("TL_EXTENSION"));
    t->Add(rows, QStringLiteral("COLUMNS"));
    return tables->Add(t, name);
}

/// "NAME=VALUE" of each row of a table's set `set`, joined by ",".
QString Listed(const TQXRowPtr& table, const QString& set, const QString& name, const QString& value)
{
    QStringList out;
    for (const TQXRowPtr& r : *table->Cols()->Item(set)->Value().rows())
        out << r->Cols()->Text(name) + QStringLiteral("=") + r->Cols()->Text(value);
    return out.join(QLatin1Char(','));
}
} // namespace

// Each extension and enum type is listed once, on the first table that needs it: a table an
// extension owns needs it too (without its types), an array of an enum needs the enum, and an
// extension whose types a later table uses is marked as needed for types from the start.
TEST(Collector, ExtensionsAndEnumTypesAreListedOnTheFirstTableThatNeedsThem)
{
    auto tables = TQXRows::Create();
    const TQXRowPtr owned = FirstUseTable(tables, QStringLiteral("spatial_ref_sys"), QStringLiteral("postgis"),
                                          {QStringLiteral("srid:::")});
    const TQXRowPtr places = FirstUseTable(
        tables, QStringLiteral("places"), QString(),
        {QStringLiteral("geom:other:geometry(Point,4326):postgis"), QStringLiteral("attrs:other:hstore:hstore"),
         QStringLiteral("kinds:array:place_kind[]::cafe|park"), QStringLiteral("area:other:geometry:postgis")});
    const TQXRowPtr users =
        FirstUseTable(tables, QStringLiteral("users"), QString(),
                      {QStringLiteral("kind:enum:place_kind::cafe|park"), QStringLiteral("role:enum:user_role::member"),
                       QStringLiteral("mood:enum:mood::"), QStringLiteral("note:other:citext:citext")});
    QVNBuildCollector::AddExtensions(tables);
    EXPECT_EQ(Listed(owned, "EXTENSIONS", "EX_NAME", "EX_TYPES"), QStringLiteral("postgis=1"));
    EXPECT_EQ(Listed(places, "EXTENSIONS", "EX_NAME", "EX_TYPES"), QStringLiteral("hstore=1"));
    EXPECT_EQ(Listed(users, "EXTENSIONS", "EX_NAME", "EX_TYPES"), QStringLiteral("citext=1"));
    EXPECT_EQ(Listed(owned, "ENUM_TYPES", "ET_NAME", "ET_NAME"), QString());
    EXPECT_EQ(Listed(places, "ENUM_TYPES", "ET_NAME", "ET_NAME"), QStringLiteral("place_kind=place_kind"));
    EXPECT_EQ(Listed(users, "ENUM_TYPES", "ET_NAME", "ET_NAME"),
              QStringLiteral("user_role=user_role")); // mood has no labels
    EXPECT_EQ(
        places->Cols()->Item("ENUM_TYPES")->Value().rows()->Item(1)->Cols()->Item("CL_ENUMS")->Value().rows()->Count(),
        2);

    // Only the extension's own table: it is needed for that table alone.
    auto alone = TQXRows::Create();
    const TQXRowPtr only = FirstUseTable(alone, QStringLiteral("spatial_ref_sys"), QStringLiteral("postgis"), {});
    QVNBuildCollector::AddExtensions(alone);
    EXPECT_EQ(Listed(only, "EXTENSIONS", "EX_NAME", "EX_TYPES"), QStringLiteral("postgis=0"));
}

// A foreign key keeps the actions the catalog gives, as numbers (ODBC) or words; none stays empty.
TEST(Collector, ForeignKeysKeepTheirReferentialActions)
{
    const std::vector<std::array<const char*, 4>> cases = {{"0", "2", "CASCADE", "SET NULL"},
                                                           {"1", "4", "RESTRICT", "SET DEFAULT"},
                                                           {"3", "", "NO ACTION", ""},
                                                           {"set null", "cascade", "SET NULL", "CASCADE"},
                                                           {"9", "nonsense", "", ""}};
    for (const auto& [update, remove, onUpdate, onDelete] : cases) {
        auto rows = TQXRows::Create();
        auto c = TQXCols::Create();
        c->Add(QStringLiteral("child_fk"), QStringLiteral("FK_NAME"));
        c->Add(QStringLiteral("parent"), QStringLiteral("PK_TABLE_NAME"));
        c->Add(QStringLiteral("id"), QStringLiteral("PK_COLUMN_NAME"));
        c->Add(QStringLiteral("parent_id"), QStringLiteral("FK_COLUMN_NAME"));
        c->Add(QStringLiteral("1"), QStringLiteral("ORDINAL"));
        if (*update)
            c->Add(QString::fromLatin1(update), QStringLiteral("UPDATE_RULE"));
        if (*remove)
            c->Add(QString::fromLatin1(remove), QStringLiteral("DELETE_RULE"));
        rows->Add(c);
        const TQXColsPtr fk = QVNBuildCollector::ForeignKeys(rows)->Item(1)->Cols();
        EXPECT_EQ(fk->Text("FK_ON_UPDATE"), QString::fromLatin1(onUpdate)) << update;
        EXPECT_EQ(fk->Text("FK_ON_DELETE"), QString::fromLatin1(onDelete)) << remove;
    }
}

TEST(Collector, AMissingProjectFileFailsWithTheOpenError)
{
    TempDir dir;
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    EXPECT_FALSE(collector.Collect(dir.file("none.qvn"), {}, tables, variables, folder));
    EXPECT_TRUE(collector.Exceptions.ToString().contains(
        Mdl_Main::Language().GetLocalizeMessage("QVNPROJECT", "ERROR_OPEN_PROJECT")));
    EXPECT_FALSE(QFile::exists(dir.file("none.qvn")));
}

TEST(SampleProjectRace, ProgramsStartedTogetherAllEndWithOneCompleteSampleProject)
{
    TempDir dir;
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 4; ++i) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
        p->setProcessEnvironment(env);
        p->start(AppDir() + QStringLiteral("quorvin-cli"), {"project", "sample", dir.path()});
        runs.push_back(std::move(p));
    }
    for (auto& p : runs) {
        EXPECT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    QVNError errors;
    // Whatever the processes did, Ensure on the folder gives a usable project and leaves no litter.
    ASSERT_TRUE(QVNSampleProject::Ensure(AppDir(), dir.path(), QString(), errors)) << errors.ToString().toStdString();
    QVNProject p;
    p.SetProjectFile(QVNSampleProject::ProjectFile(dir.path()));
    ASSERT_TRUE(p.GetProjectInfo());
    EXPECT_TRUE(p.GetTables());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"sample.qvn"}));
}
