// Regenerating into a folder the user works in: a failed or cancelled build changes nothing, the
// user's edits are merged or kept beside the new text, protected regions are carried over, and a
// kill while publishing leaves every file old or new.
#include "ModelTestSupport.h"
#include "QVNBuildOutput.h"
#include "QVNFunction.h"
#include "QVNGenerate.h"
#include "QVNTextMerge.h"
#include "QtPrinters.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>

using namespace modeltest;
using Kind = QVNBuildOutput::Kind;
using Action = QVNBuildOutput::Action;

namespace {

/// Every file below `folder` (hidden ones too) with its bytes and modification time.
QMap<QString, QPair<QByteArray, qint64>> Snapshot(const QString& folder)
{
    QMap<QString, QPair<QByteArray, qint64>> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const QDir root(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        std::error_code ec;
        const auto time = std::filesystem::last_write_time(path.toStdString(), ec).time_since_epoch().count();
        files.insert(root.relativeFilePath(path), {f.readAll(), qint64(time)});
    }
    return files;
}

/// Tables with the given columns each (table -> columns).
TQXRowsPtr Schema(const QList<QPair<QString, QStringList>>& tables)
{
    auto set = TQXRows::Create();
    set->SetTag(QStringLiteral("TABLES"));
    for (const auto& [name, columns] : tables) {
        auto cols = TQXCols::Create();
        cols->Add(TQXValue(name), QStringLiteral("TL_NAME"));
        auto list = TQXRows::Create();
        list->SetTag(QStringLiteral("COLUMNS"));
        for (const QString& c : columns) {
            auto cc = TQXCols::Create();
            cc->Add(TQXValue(c), QStringLiteral("CL_NAME"));
            list->Add(cc, c);
        }
        cols->Add(TQXValue(list), QStringLiteral("COLUMNS"));
        set->Add(cols, name);
    }
    return set;
}

const QByteArray kModelFiles =
    FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.py"), QStringLiteral("EACHFILE"),
               QStringLiteral("1")},
              {QStringLiteral("all.txt"), QStringLiteral("all.txt"), QString(), QStringLiteral("1")}});
// One line per column, a protected region per table, lines of their own around it.
const QByteArray kTableTemplate = "class <ORVE>TL_NAME</ORVE>:\n"
                                  "    columns = [\n"
                                  "<ORVE_COLUMNS>        \"<ORVE>CL_NAME</ORVE>\",\n"
                                  "</ORVE_COLUMNS>    ]\n"
                                  "\n"
                                  "    # <ORVE_KEEPBEGIN>methods</ORVE_KEEPBEGIN>\n"
                                  "    pass\n"
                                  "    # <ORVE_KEEPEND>methods</ORVE_KEEPEND>\n"
                                  "\n"
                                  "# end of <ORVE>TL_NAME</ORVE>\n";
const QByteArray kAllTemplate = "<ORVE_TABLES><ORVE>TL_NAME</ORVE>\n</ORVE_TABLES>";

class Regeneration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseAppFolder(m_dir);
        m_package = m_dir.file(QStringLiteral("model.qvnm"));
        ASSERT_TRUE(MakePackage(m_dir.file(QStringLiteral("src")), m_package,
                                {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Py"), QStringLiteral("1"))},
                                 {QStringLiteral("model_file.qvns"), kModelFiles},
                                 {QStringLiteral("t.txt"), kTableTemplate},
                                 {QStringLiteral("all.txt"), kAllTemplate}}));
    }
    QVNBuildRequest Request(const TQXRowsPtr& tables) const
    {
        QVNBuildRequest r;
        r.model = m_package;
        r.outDir = Out();
        r.tables = tables;
        return r;
    }
    QString Out() const { return m_dir.file(QStringLiteral("out")); }
    QByteArray Read(const QString& rel) const { return readBytes(Out() + QLatin1Char('/') + rel); }
    void Write(const QString& rel, const QByteArray& bytes) const
    {
        ASSERT_TRUE(writeBytes(Out() + QLatin1Char('/') + rel, bytes));
    }
    static const QVNBuildOutput::File* Find(QVNGenerate& g, const QString& path)
    {
        for (const QVNBuildOutput::File& f : g.Output().Files())
            if (f.path == path)
                return &f;
        return nullptr;
    }

    TempDir m_dir;
    QString m_package;
};

} // namespace

TEST_F(Regeneration, EditsAreMergedOrKeptBesideTheNewTextAndNothingIsDeletedUnasked)
{
    QVNGenerate g;
    ASSERT_TRUE(g.Run(Request(Schema({{QStringLiteral("users"), {QStringLiteral("id"), QStringLiteral("name")}},
                                      {QStringLiteral("orders"), {QStringLiteral("id")}}}))))
        << g.Exceptions.ToString().toStdString();
    // The user edits users.py far from the column list, orders.py inside it, and all.txt.
    QByteArray users = Read(QStringLiteral("users.py"));
    users.replace("# end of users", "# end of users, edited");
    Write(QStringLiteral("users.py"), users);
    QByteArray orders = Read(QStringLiteral("orders.py"));
    orders.replace("\"id\",", "\"id\",  # the key");
    Write(QStringLiteral("orders.py"), orders);
    Write(QStringLiteral("all.txt"), "users\norders\nmine\n");

    // The schema changes: a column for users and for orders, and the table list loses nothing.
    ASSERT_TRUE(g.Prepare(Request(
        Schema({{QStringLiteral("users"), {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("email")}},
                {QStringLiteral("orders"), {QStringLiteral("id"), QStringLiteral("total")}}}))));
    ASSERT_NE(Find(g, QStringLiteral("users.py")), nullptr);
    EXPECT_EQ(Find(g, QStringLiteral("users.py"))->kind, Kind::Conflict);
    EXPECT_EQ(Find(g, QStringLiteral("users.py"))->action, Action::Merge); // clean: the edits do not touch
    EXPECT_EQ(Find(g, QStringLiteral("orders.py"))->kind, Kind::Conflict);
    EXPECT_EQ(Find(g, QStringLiteral("all.txt"))->kind, Kind::UserEdited);
    EXPECT_EQ(Find(g, QStringLiteral("all.txt"))->action, Action::Skip);
    ASSERT_TRUE(g.Publish()) << g.Exceptions.ToString().toStdString();
    const QByteArray merged = Read(QStringLiteral("users.py"));
    EXPECT_TRUE(merged.contains("# end of users, edited")) << merged.toStdString();
    EXPECT_TRUE(merged.contains("\"email\"")) << merged.toStdString();
    EXPECT_EQ(Read(QStringLiteral("all.txt")), QByteArray("users\norders\nmine\n"));
    // orders.py: both sides changed the column list; a clean merge or the new text beside the user's.
    const QByteArray ordersNow = Read(QStringLiteral("orders.py"));
    EXPECT_TRUE(ordersNow.contains("# the key")) << ordersNow.toStdString();
    if (!ordersNow.contains("\"total\"")) {
        EXPECT_TRUE(Read(QStringLiteral("orders.py.new")).contains("\"total\""));
    }

    // A table dropped from the choice: its file is listed, kept, and goes only when ticked.
    ASSERT_TRUE(g.Prepare(Request(Schema({{QStringLiteral("users"), {QStringLiteral("id")}}}))));
    ASSERT_NE(Find(g, QStringLiteral("orders.py")), nullptr);
    EXPECT_EQ(Find(g, QStringLiteral("orders.py"))->kind, Kind::Removed);
    EXPECT_EQ(Find(g, QStringLiteral("orders.py"))->action, Action::Skip);
    ASSERT_TRUE(g.Publish());
    EXPECT_TRUE(QFileInfo::exists(Out() + QStringLiteral("/orders.py")));
    ASSERT_TRUE(g.Prepare(Request(Schema({{QStringLiteral("users"), {QStringLiteral("id")}}}))));
    for (QVNBuildOutput::File& f : g.Output().Files()) {
        if (f.path == QLatin1String("orders.py"))
            f.action = Action::Delete;
    }
    ASSERT_TRUE(g.Publish());
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("/orders.py")));

    // Rebuilding what is there changes nothing.
    ASSERT_TRUE(g.Prepare(Request(Schema({{QStringLiteral("users"), {QStringLiteral("id")}}}))));
    g.Output().ApplyPolicy(QVNBuildOutput::ConflictPolicy::Merge);
    EXPECT_FALSE(g.Output().WouldChange());

    g.Discard();
}

TEST_F(Regeneration, ConflictPoliciesDecideWhatAnOverlappingEditGets)
{
    struct Case
    {
        QVNBuildOutput::ConflictPolicy policy;
        bool userTextInFile, newTextInFile, newFile;
    };
    const Case cases[] = {{QVNBuildOutput::ConflictPolicy::Merge, true, false, true},
                          {QVNBuildOutput::ConflictPolicy::New, true, false, true},
                          {QVNBuildOutput::ConflictPolicy::Skip, true, false, false},
                          {QVNBuildOutput::ConflictPolicy::Overwrite, false, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.policy));
        QVNFunction().DeleteFolder(Out());
        QVNGenerate g;
        ASSERT_TRUE(g.Run(Request(Schema({{QStringLiteral("t"), {QStringLiteral("a")}}}))));
        QByteArray text = Read(QStringLiteral("t.py"));
        text.replace("\"a\",", "\"a\", \"mine\",");
        Write(QStringLiteral("t.py"), text);
        QVNBuildRequest r = Request(Schema({{QStringLiteral("t"), {QStringLiteral("b")}}}));
        r.onConflict = c.policy;
        ASSERT_TRUE(g.Run(r));
        const QByteArray now = Read(QStringLiteral("t.py"));
        EXPECT_EQ(now.contains("\"mine\""), c.userTextInFile) << now.toStdString();
        EXPECT_EQ(now.contains("\"b\""), c.newTextInFile) << now.toStdString();
        EXPECT_EQ(QFileInfo::exists(Out() + QStringLiteral("/t.py.new")), c.newFile);
    }
}

TEST_F(Regeneration, AProtectedRegionSurvivesRegenerationsAndARenamedTable)
{
    QVNGenerate g;
    ASSERT_TRUE(g.Run(Request(Schema({{QStringLiteral("users"), {QStringLiteral("id")}}}))));
    QByteArray text = Read(QStringLiteral("users.py"));
    ASSERT_TRUE(text.contains("    # quorvin-keep-begin: methods\n    pass\n    # quorvin-keep-end: methods\n"))
        << text.toStdString();
    const QByteArray mine = "    def greet(self):\n        return \"hi\"\n";
    text.replace("    pass\n", mine);
    Write(QStringLiteral("users.py"), text);

    // Three schema changes: the region's text is carried over each time, and it is no user edit.
    const QStringList columns[] = {{QStringLiteral("id"), QStringLiteral("a")},
                                   {QStringLiteral("id"), QStringLiteral("a"), QStringLiteral("b")},
                                   {QStringLiteral("b")}};
    for (const QStringList& c : columns) {
        ASSERT_TRUE(g.Prepare(Request(Schema({{QStringLiteral("users"), c}}))));
        EXPECT_EQ(Find(g, QStringLiteral("users.py"))->kind, Kind::Changed);
        ASSERT_TRUE(g.Publish());
        const QByteArray now = Read(QStringLiteral("users.py"));
        EXPECT_TRUE(now.contains(mine)) << now.toStdString();
        EXPECT_TRUE(now.contains("\"" + c.last().toUtf8() + "\"")) << now.toStdString();
    }

    // The table is renamed: its new file takes the region over; the old one stays until ticked.
    ASSERT_TRUE(g.Run(Request(Schema({{QStringLiteral("people"), {QStringLiteral("id")}}}))));
    EXPECT_TRUE(Read(QStringLiteral("people.py")).contains(mine));
    EXPECT_TRUE(Read(QStringLiteral("users.py")).contains(mine));

    // A region the template no longer writes is a conflict; the user's file keeps it.
    Write(QStringLiteral("people.py"),
          Read(QStringLiteral("people.py")) + "# quorvin-keep-begin: extra\nkeep me\n# quorvin-keep-end: extra\n");
    ASSERT_TRUE(g.Prepare(Request(Schema({{QStringLiteral("people"), {QStringLiteral("id")}}}))));
    const QVNBuildOutput::File* f = Find(g, QStringLiteral("people.py"));
    EXPECT_EQ(f->kind, Kind::Conflict);
    EXPECT_NE(f->action, Action::Write);
    EXPECT_TRUE(f->notes.join(QLatin1Char(' ')).contains(QStringLiteral("extra")));
    ASSERT_TRUE(g.Publish());
    EXPECT_TRUE(Read(QStringLiteral("people.py")).contains("keep me"));
}

TEST_F(Regeneration, AFailedOrCancelledBuildLeavesTheFolderAsItWas)
{
    QVNGenerate first;
    ASSERT_TRUE(first.Run(Request(Schema({{QStringLiteral("a"), {QStringLiteral("x")}}}))));
    Write(QStringLiteral("a.py"), Read(QStringLiteral("a.py")) + "# mine\n");
    const auto before = Snapshot(Out());
    const TQXRowsPtr many = Schema({{QStringLiteral("a"), {QStringLiteral("y")}},
                                    {QStringLiteral("b"), {QStringLiteral("y")}},
                                    {QStringLiteral("c"), {QStringLiteral("y")}}});

    // Cancelled while building, while publishing (after one and after two files), and a build
    // whose package has an entry that is refused.
    const std::function<bool(const QString&, int)> cancels[] = {
        [](const QString& m, int) { return m.contains(QStringLiteral("[ b.py ]")); },
        [](const QString& m, int n) { return m.isEmpty() && n == 1; },
        [](const QString& m, int n) { return m.isEmpty() && n == 2; },
    };
    for (const auto& cancelAt : cancels) {
        QVNGenerate g;
        bool published = false;
        int publishChecks = 0;
        g.Progress = [&](const QString& m, bool& cancel) {
            if (published && m.isEmpty())
                ++publishChecks;
            if (cancelAt(m, publishChecks))
                cancel = true;
        };
        if (g.Prepare(Request(many))) {
            published = true;
            EXPECT_FALSE(g.Publish());
        }
        EXPECT_TRUE(g.Canceled());
        EXPECT_EQ(Snapshot(Out()), before);
    }
    const QString broken = m_dir.file(QStringLiteral("broken.qvnm"));
    ASSERT_TRUE(MakePackage(
        m_dir.file(QStringLiteral("src2")), broken,
        {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Py"), QStringLiteral("1"))},
         {QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("t.txt"), QStringLiteral("a.py"), QString(), QStringLiteral("1")},
                    {QStringLiteral("t.txt"), QStringLiteral("../out2/x"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("t.txt"), "new text"}}));
    QVNGenerate g;
    QVNBuildRequest r = Request(many);
    r.model = broken;
    EXPECT_FALSE(g.Run(r));
    EXPECT_FALSE(g.Canceled());
    EXPECT_EQ(Snapshot(Out()), before);
    // No staging folder is left behind either.
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral(".quorvin-stage-*")}, QDir::Dirs | QDir::Hidden),
              QStringList());
}

TEST_F(Regeneration, LeftoverTagsAndTablesWithoutColumnsAreWarnedAboutInTheLogAndTheReadme)
{
    const QString package = m_dir.file(QStringLiteral("warn.qvnm"));
    ASSERT_TRUE(MakePackage(
        m_dir.file(QStringLiteral("src3")), package,
        {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("W"), QStringLiteral("1"), QStringLiteral("r.txt"))},
         {QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("bad.txt"), QStringLiteral("bad.txt"), QString(), QStringLiteral("1")},
                    {QStringLiteral("bad.txt"), QStringLiteral("copied.txt"), QString(), QStringLiteral("0")},
                    {QStringLiteral("r.txt"), QStringLiteral("r.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("bad.txt"), "<ORVE_TABLES><ORVE>TL_NAME</ORVE>\n"}, // the end tag is missing
         {QStringLiteral("r.txt"), "<ORVE>RVG_LOG</ORVE>"}}));
    QVNGenerate g;
    QVNBuildRequest r =
        Request(Schema({{QStringLiteral("gone"), {}}, {QStringLiteral("here"), {QStringLiteral("id")}}}));
    r.model = package;
    ASSERT_TRUE(g.Run(r)) << g.Exceptions.ToString().toStdString();
    // The missing table, then the template's mistakes as the engine found them, with file and line.
    ASSERT_GE(g.Warnings().size(), 2) << g.Warnings().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g.Warnings().at(0).startsWith(QStringLiteral("table gone:")));
    EXPECT_TRUE(g.Warnings().at(1).startsWith(QStringLiteral("bad.txt:1:1: "))) << g.Warnings().at(1).toStdString();
    EXPECT_TRUE(g.Warnings().at(1).contains(QStringLiteral("<ORVE_TABLES>")));
    EXPECT_EQ(g.Warnings().mid(1), g.Diagnostics());
    const QByteArray readme = Read(QStringLiteral("r.txt"));
    EXPECT_TRUE(readme.contains("bad.txt:1:1: ")) << readme.toStdString();
    EXPECT_TRUE(g.Log().contains(QStringLiteral("Warning: table gone")));
}

TEST(TextMerge, MergesApartEditsDiffsAndRefusesBinaryTexts)
{
    QByteArray merged;
    EXPECT_TRUE(QVNTextMerge::Merge("a\nb\nc\nd\ne\n", "A\nb\nc\nd\ne\n", "a\nb\nc\nd\nE\n", merged));
    EXPECT_EQ(merged, QByteArray("A\nb\nc\nd\nE\n"));
    EXPECT_FALSE(QVNTextMerge::Merge("a\n", "b\n", "c\n", merged));
    EXPECT_TRUE(merged.contains("<<<<<<<"));
    EXPECT_FALSE(QVNTextMerge::Merge(QByteArray("a\0b", 3), "x", "y", merged));
    const QByteArray diff = QVNTextMerge::UnifiedDiff("a\nb\n", "a\nc\n", QStringLiteral("f.txt"));
    EXPECT_TRUE(diff.startsWith("--- a/f.txt\n+++ b/f.txt\n@@")) << diff.toStdString();
    EXPECT_TRUE(diff.contains("\n-b\n+c\n"));
    EXPECT_EQ(QVNTextMerge::UnifiedDiff("same", "same", QStringLiteral("f")), QByteArray());
}
