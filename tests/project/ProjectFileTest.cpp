#include "Mdl_Main.h"
#include "ProjectTestSupport.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
const QString kSchema = QStringLiteral("CREATE TABLE alpha (id INTEGER PRIMARY KEY, name VARCHAR(20));"
                                       "CREATE TABLE beta (code VARCHAR(10), note TEXT);"
                                       "CREATE VIEW v_alpha AS SELECT * FROM alpha;");

/// A project over a small SQLite target database, in its own folder.
class ProjectFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(AppDir() + QStringLiteral("system.qvnm"))) << "the build lays out system.qvnm";
        m_target = m_dir.file(QStringLiteral("target.db"));
        ASSERT_EQ(CreateSqliteFile(m_target, kSchema), QString());
        m_file = m_dir.file(QStringLiteral("p.qvn"));
    }

    /// New project + tables read + saved with the given values.
    void CreateProject(QVNProject& p, const QString& file)
    {
        ASSERT_TRUE(p.NewProject(file)) << p.Exceptions.ToString().toStdString();
        p.SetProjectFile(file);
        p.P_DATABASE = SqliteConnection(m_target);
        ASSERT_TRUE(p.GetTables()) << p.Exceptions.ToString().toStdString();
        ASSERT_TRUE(p.SaveProject(QStringLiteral("N1"), QStringLiteral("Name"), p.P_DATABASE, QString(), QString(),
                                  QStringLiteral("/out"), p.TABLES))
            << p.Exceptions.ToString().toStdString();
    }

    TempDir m_dir;
    QString m_target;
    QString m_file;
};
} // namespace

TEST(ProjectConnectionString, AddsBothKeywordFormsOnlyForNonEmptyValues)
{
    QVNProject p;
    p.P_DATABASE = QStringLiteral("DSN=x");
    EXPECT_EQ(p.ConnectionString(), QStringLiteral("DSN=x"));
    p.P_USERID = QStringLiteral("u");
    p.P_PWD = QStringLiteral(" ");
    EXPECT_EQ(p.ConnectionString(), QStringLiteral("DSN=x;uid=u;user id=u;pwd= ;password= "));
}

TEST(ProjectStatements, InsertHasTheFixedShapeAndDoublesQuotes)
{
    EXPECT_EQ(QVNProject::InsertStatement(QStringLiteral("tb_X"), {"A", "B"}, {"it's", ""}),
              QStringLiteral("insert into tb_X (\r\n   A,\r\n   B)\r\n   values (\r\n'it''s',\r\n'')"));
}

TEST_F(ProjectFileTest, NewProjectIsATemplateCopyAndReadsAsEmpty)
{
    QVNProject p;
    ASSERT_TRUE(p.NewProject(m_file));
    EXPECT_EQ(readBytes(m_file), readBytes(AppDir() + QStringLiteral("system.qvnm")));
    p.SetProjectFile(m_file);
    EXPECT_TRUE(p.GetProjectInfo());
    EXPECT_EQ(p.P_NAME, QString());
    EXPECT_EQ(p.TABLES->Count(), 0);
    EXPECT_EQ(p.GetVersion()->Text(QStringLiteral("V_NAME")), QStringLiteral("Quorvin project"));
}

TEST_F(ProjectFileTest, NewProjectWithoutTemplateFails)
{
    QVNProject p;
    p.SetTemplateFile(m_dir.file(QStringLiteral("none.qvnm")));
    EXPECT_FALSE(p.NewProject(m_file));
    EXPECT_FALSE(p.Exceptions.IsEmpty());
    EXPECT_FALSE(QFile::exists(m_file));
}

TEST_F(ProjectFileTest, ValuesWithQuotesAndAnnotationsSurviveSaveAndReload)
{
    QVNProject p;
    CreateProject(p, m_file);
    const QString odd = QStringLiteral("it's \"q\" 中文 ;{x}");
    TQXRowPtr alpha = p.TABLES->Item(QStringLiteral("alpha"));
    ASSERT_TRUE(alpha);
    alpha->Cols()->Item(QStringLiteral("TL_CNAME"))->SetValue(odd);
    alpha->Cols()->Item(QStringLiteral("TL_PKTYPE"))->SetValue(QStringLiteral("2"));
    TQXRowsPtr columns = p.GetColumns(QStringLiteral("alpha"));
    columns->Item(QStringLiteral("name"))->Cols()->Item(QStringLiteral("CL_CNAME"))->SetValue(odd);
    columns->Item(QStringLiteral("name"))
        ->Cols()
        ->Item(QStringLiteral("CL_CONVERT_CAPTION"))
        ->SetValue(QStringLiteral("A\tB"));
    columns->Item(QStringLiteral("name"))
        ->Cols()
        ->Item(QStringLiteral("CL_CONVERT_VALUE"))
        ->SetValue(QStringLiteral("1\t2"));
    alpha->Cols()->Item(QStringLiteral("COLUMNS"))->SetValue(columns);
    ASSERT_TRUE(p.SaveProject(odd, odd, p.P_DATABASE, odd, odd, odd, p.TABLES))
        << p.Exceptions.ToString().toStdString();

    QVNProject q;
    q.SetProjectFile(m_file);
    ASSERT_TRUE(q.GetProjectInfo());
    EXPECT_EQ(q.P_NO, odd);
    EXPECT_EQ(q.P_PWD, odd);
    EXPECT_EQ(q.P_PATH, odd);
    q.P_USERID.clear(); // the SQLite driver must not see a user that is not part of the string
    q.P_PWD.clear();
    ASSERT_TRUE(q.GetTables()) << q.Exceptions.ToString().toStdString();
    TQXRowPtr alpha2 = q.TABLES->Item(QStringLiteral("alpha"));
    ASSERT_TRUE(alpha2);
    EXPECT_EQ(alpha2->Cols()->Text(QStringLiteral("TL_CNAME")), odd);
    EXPECT_EQ(alpha2->Cols()->Text(QStringLiteral("TL_CNAME2")), odd);
    EXPECT_EQ(alpha2->Cols()->Text(QStringLiteral("TL_PKTYPE")), QStringLiteral("2"));
    EXPECT_EQ(alpha2->Cols()->Text(QStringLiteral("TL_PK")), QStringLiteral("id"));
    EXPECT_EQ(alpha2->Cols()->Text(QStringLiteral("TL_DATE")),
              QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    TQXRowsPtr saved = alpha2->Cols()->Item(QStringLiteral("COLUMNS"))->Value().rows();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->Tag(), QStringLiteral("COLUMNS"));
    ASSERT_EQ(saved->Count(), 2);
    EXPECT_EQ(saved->Item(QStringLiteral("name"))->Cols()->Text(QStringLiteral("CL_CNAME")), odd);
    EXPECT_EQ(saved->Item(QStringLiteral("id"))->Cols()->Text(QStringLiteral("CL_PKMARK")), QStringLiteral("1"));
    // Conversion lists keep their tab separators.
    TQXRowsPtr typed = q.GetColumns(QStringLiteral("alpha"));
    TQXRowsPtr converts =
        typed->Item(QStringLiteral("name"))->Cols()->Item(QStringLiteral("CL_CONVERTS"))->Value().rows();
    ASSERT_EQ(converts->Count(), 2);
    EXPECT_EQ(converts->Item(2)->Cols()->Text(QStringLiteral("CC_CAPTION")), QStringLiteral("B"));

    // An unannotated table: empty caption, its name to display, key kind "1".
    TQXRowPtr beta = q.TABLES->Item(QStringLiteral("beta"));
    EXPECT_EQ(beta->Cols()->Text(QStringLiteral("TL_CNAME")), QString());
    EXPECT_EQ(beta->Cols()->Text(QStringLiteral("TL_CNAME2")), QStringLiteral("beta"));
    EXPECT_EQ(beta->Cols()->Text(QStringLiteral("TL_PKTYPE")), QStringLiteral("1"));
    EXPECT_EQ(q.TABLES->Item(QStringLiteral("v_alpha"))->Cols()->Text(QStringLiteral("TABLE_TYPE")),
              QStringLiteral("VIEW"));
}

TEST_F(ProjectFileTest, SavingTheSavedColumnRowsWritesThemBackUnchangedAndDroppedTablesDisappear)
{
    QVNProject p;
    CreateProject(p, m_file);
    TQXRowsPtr columns = p.GetColumns(QStringLiteral("beta"));
    columns->Item(QStringLiteral("note"))->Cols()->Item(QStringLiteral("CL_DESC"))->SetValue(QStringLiteral("kept"));
    p.TABLES->Item(QStringLiteral("beta"))->Cols()->Item(QStringLiteral("COLUMNS"))->SetValue(columns);
    ASSERT_TRUE(p.SaveProject(QStringLiteral("N1"), QStringLiteral("Name"), p.P_DATABASE, QString(), QString(),
                              QString(), p.TABLES));
    ASSERT_EQ(CreateSqliteFile(m_target, QStringLiteral("DROP VIEW v_alpha; DROP TABLE alpha;")), QString());

    QVNProject q;
    q.SetProjectFile(m_file);
    ASSERT_TRUE(q.GetProjectInfo());
    ASSERT_TRUE(q.GetTables());
    EXPECT_FALSE(q.TABLES->Exists(QStringLiteral("alpha")));
    // Save with COLUMNS still holding the saved tb_Column rows, then read again.
    ASSERT_TRUE(q.SaveProject(q.P_NO, q.P_NAME, q.P_DATABASE, q.P_USERID, q.P_PWD, q.P_PATH, q.TABLES));
    QVNProject r;
    r.SetProjectFile(m_file);
    ASSERT_TRUE(r.GetProjectInfo());
    ASSERT_TRUE(r.GetTables());
    TQXRowsPtr saved = r.TABLES->Item(QStringLiteral("beta"))->Cols()->Item(QStringLiteral("COLUMNS"))->Value().rows();
    EXPECT_EQ(saved->Item(QStringLiteral("note"))->Cols()->Text(QStringLiteral("CL_DESC")), QStringLiteral("kept"));
    QVNDatabase file;
    file.AdoConnectString = SqliteConnection(m_file);
    EXPECT_EQ(file.GetDatasFromSql(QStringLiteral("select * from tb_Column where CL_TL_NAME = 'alpha'"))->Count(), 0);
    EXPECT_EQ(file.GetDatasFromSql(QStringLiteral("select * from tb_Project"))->Count(), 1);
}

TEST_F(ProjectFileTest, AFailingInsertLeavesTheProjectFileUntouched)
{
    QVNProject p;
    CreateProject(p, m_file);
    p.TABLES->Item(QStringLiteral("beta"))
        ->Cols()
        ->Item(QStringLiteral("COLUMNS"))
        ->SetValue(p.GetColumns(QStringLiteral("beta")));
    ASSERT_TRUE(p.SaveProject(QStringLiteral("N1"), QStringLiteral("Name"), p.P_DATABASE, QString(), QString(),
                              QString(), p.TABLES));
    const QByteArray before = readBytes(m_file);
    // A template whose tb_Column refuses one value: the save fails in the middle of its inserts.
    const QString failing = m_dir.file(QStringLiteral("failing.qvnm"));
    QFile script(QStringLiteral(QUORVIN_SOURCE_DIR "/resources/project/system.sql"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    QFile refuse(testDataDir() + QStringLiteral("/project/refuse_column_insert.sql"));
    ASSERT_TRUE(refuse.open(QIODevice::ReadOnly));
    ASSERT_EQ(CreateSqliteFile(failing, QString::fromUtf8(script.readAll() + refuse.readAll())), QString());
    p.SetTemplateFile(failing);
    EXPECT_FALSE(p.SaveProject(QStringLiteral("N2"), QStringLiteral("Changed"), p.P_DATABASE, QString(), QString(),
                               QString(), p.TABLES));
    const QString errors = p.Exceptions.ToString();
    EXPECT_TRUE(errors.startsWith(
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_EXEC_SQL"))))
        << errors.toStdString();
    EXPECT_FALSE(Mdl_Main::Language()
                     .GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_EXEC_SQL"))
                     .isEmpty());
    EXPECT_TRUE(errors.contains(QStringLiteral("note refused by trigger"))) << errors.toStdString();
    EXPECT_EQ(readBytes(m_file), before);
    EXPECT_EQ(readBytes(m_file + QStringLiteral(".bak")), before);
    const QStringList left = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({"failing.qvnm", "p.qvn", "p.qvn.bak", "target.db"}));
    QVNProject q;
    q.SetProjectFile(m_file);
    ASSERT_TRUE(q.GetProjectInfo());
    EXPECT_EQ(q.P_NAME, QStringLiteral("Name"));
}

TEST_F(ProjectFileTest, ASaveWithoutItsTemplateOrOnAReadOnlyFileLeavesTheFileAsItWas)
{
    QVNProject p;
    CreateProject(p, m_file);
    const QByteArray before = readBytes(m_file);
    p.SetTemplateFile(m_dir.file(QStringLiteral("gone.qvnm")));
    EXPECT_FALSE(p.SaveProject(QStringLiteral("N2"), QStringLiteral("Changed"), p.P_DATABASE, QString(), QString(),
                               QString(), p.TABLES));
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_SAVE"))));
    EXPECT_TRUE(readBytes(m_file) == before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"p.qvn", "p.qvn.bak", "target.db"}));
    p.SetTemplateFile(QString());

    ASSERT_TRUE(QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    EXPECT_FALSE(p.SaveProject(QStringLiteral("N2"), QStringLiteral("Changed"), p.P_DATABASE, QString(), QString(),
                               QString(), p.TABLES));
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_SAVE"))))
        << p.Exceptions.ToString().toStdString();
    EXPECT_TRUE(readBytes(m_file) == before);
    EXPECT_FALSE(QFile::permissions(m_file) & QFileDevice::WriteOwner);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"p.qvn", "p.qvn.bak", "target.db"}));
}

TEST_F(ProjectFileTest, SavingAMissingProjectFileFailsAtTheBackupAndWritesNothing)
{
    QVNProject p;
    p.SetProjectFile(m_file);
    EXPECT_FALSE(p.SaveProject(QStringLiteral("1"), QStringLiteral("x"), QString(), QString(), QString(), QString(),
                               TQXRows::Create()));
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_BACKUP"))));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"target.db"}));
}

TEST_F(ProjectFileTest, OpeningAMissingOrForeignFileFailsAndCreatesNothing)
{
    const QString openError =
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_OPEN_PROJECT"));
    ASSERT_FALSE(openError.isEmpty());
    QVNProject p;
    p.SetProjectFile(m_file);
    EXPECT_FALSE(p.GetProjectInfo());
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(openError));
    EXPECT_GE(p.Exceptions.Count(), 2);
    EXPECT_FALSE(QFile::exists(m_file));
    EXPECT_FALSE(p.GetTables());
    EXPECT_FALSE(QFile::exists(m_file));

    const QString text = m_dir.file(QStringLiteral("notes.qvn"));
    ASSERT_TRUE(QFile::copy(testDataDir() + QStringLiteral("/project/not-a-database.qvn"), text));
    const QByteArray textBefore = readBytes(text);
    p.SetProjectFile(text);
    EXPECT_FALSE(p.GetProjectInfo());
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(openError));
    EXPECT_TRUE(p.Exceptions.ToString().contains(QStringLiteral("not a database")))
        << p.Exceptions.ToString().toStdString();
    EXPECT_EQ(readBytes(text), textBefore);

    // A SQLite database that is not a project (the target database itself).
    p.SetProjectFile(m_target);
    EXPECT_FALSE(p.GetProjectInfo());
    EXPECT_TRUE(p.Exceptions.ToString().contains(QStringLiteral("tb_"))) << p.Exceptions.ToString().toStdString();
}

TEST_F(ProjectFileTest, PathsWithSpacesSemicolonsAndNonAsciiWork)
{
    const QString folder = m_dir.file(QStringLiteral("my projects; 项目 {x}"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/订单 a;b.qvn");
    QVNProject p;
    CreateProject(p, file);
    // A second save goes through the backup and the rename in the same folder.
    ASSERT_TRUE(p.SaveProject(QStringLiteral("N9"), QStringLiteral("again"), p.P_DATABASE, QString(), QString(),
                              QString(), p.TABLES))
        << p.Exceptions.ToString().toStdString();
    QVNProject q;
    q.SetProjectFile(file);
    ASSERT_TRUE(q.GetProjectInfo()) << q.Exceptions.ToString().toStdString();
    EXPECT_EQ(q.P_NO, QStringLiteral("N9"));
    ASSERT_TRUE(q.GetTables());
    EXPECT_EQ(q.TABLES->Count(), 3);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("订单 a;b.qvn"), QStringLiteral("订单 a;b.qvn.bak")}));

    // Without a ";" the path goes to the driver as it is.
    const QString plain = m_dir.file(QStringLiteral("项目 目录/订单.qvn"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(plain).absolutePath()));
    QVNProject r;
    CreateProject(r, plain);
    r.SetProjectFile(plain);
    ASSERT_TRUE(r.GetProjectInfo()) << r.Exceptions.ToString().toStdString();
    EXPECT_EQ(r.P_NO, QStringLiteral("N1"));
}

TEST_F(ProjectFileTest, AnUnreachableTargetReportsConnectAndEmptiesTheTables)
{
    QVNProject p;
    CreateProject(p, m_file);
    p.P_DATABASE = SqliteConnection(m_dir.file(QStringLiteral("gone.db")));
    EXPECT_FALSE(p.GetTables());
    EXPECT_TRUE(p.Exceptions.ToString().startsWith(
        Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), QStringLiteral("ERROR_CONNECT"))));
    EXPECT_EQ(p.TABLES->Count(), 0);
}

TEST_F(ProjectFileTest, AProjectReachedThroughALinkIsSavedWhereItLiesAndTheLinkStays)
{
    QVNProject p;
    CreateProject(p, m_file);
    const QString link = m_dir.file(QStringLiteral("link.qvn"));
    ASSERT_TRUE(QFile::link(m_file, link));
    p.SetProjectFile(link);
    ASSERT_TRUE(
        p.SaveProject(QStringLiteral("via link"), QString(), p.P_DATABASE, QString(), QString(), QString(), p.TABLES))
        << p.Exceptions.ToString().toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QVNProject q;
    q.SetProjectFile(m_file);
    ASSERT_TRUE(q.GetProjectInfo());
    EXPECT_EQ(q.P_NO, QStringLiteral("via link"));
}
