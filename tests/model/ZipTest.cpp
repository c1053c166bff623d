#include "ModelTestSupport.h"
#include "QVNModelPath.h"
#include "QVNZIP.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

const QString kPassword = QStringLiteral("385027914463");

// Writes an unencrypted zip with exactly these entry names (Python's zipfile stores any name).
bool CraftZip(const QString& path, const QStringList& names, int payloadBytes = 4)
{
    QString script = QStringLiteral("import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n");
    for (const QString& n : names)
        script += QStringLiteral("z.writestr(%1, b'x' * %2)\n")
                      .arg(QStringLiteral("'") + QString(n).replace(QStringLiteral("\\"), QStringLiteral("\\\\")) +
                           QStringLiteral("'"))
                      .arg(payloadBytes);
    script += QStringLiteral("z.close()\n");
    return RunProgram(QStringLiteral("python3"), {QStringLiteral("-c"), script, path}) == 0;
}

} // namespace

TEST(ModelPath, OnlyRelativePathsThatStayInsideAreAccepted)
{
    for (const char* ok : {"a.txt", "a/b/c.txt", "a\\b\\c.txt", "a/../b.txt", "./x", "", "dir/"})
        EXPECT_TRUE(QVNModelPath::StaysInside(QString::fromUtf8(ok))) << ok;
    for (const char* bad :
         {"../x", "..", "a/../../x", "..\\x", "a\\..\\..\\x", "/etc/passwd", "\\x", "C:\\x", "c:x", "//server/share"})
        EXPECT_FALSE(QVNModelPath::StaysInside(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(QVNModelPath::Clean(QStringLiteral("a\\.\\b//c/../d.txt")), QStringLiteral("a/b/d.txt"));
    EXPECT_EQ(QVNModelPath::Clean(QStringLiteral("dir\\sub\\")), QStringLiteral("dir/sub/"));
}

TEST(Zip, PackThenExtractRestoresTheTreeAndAWrongPasswordWritesNothing)
{
    TempDir dir;
    const QMap<QString, QByteArray> files{{QStringLiteral("model_info.qvns"), "<r/>"},
                                          {QStringLiteral("sub/deeper/模板.txt"), "中文 text\r\n"},
                                          {QStringLiteral(".hidden"), "h"}};
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("src")), files));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("src/empty"))));
    QVNZIP zip;
    ASSERT_TRUE(zip.PackageFolder(dir.file(QStringLiteral("out/pkg.qvnm")), kPassword, dir.file(QStringLiteral("src"))))
        << zip.Exceptions.ToString().toStdString();

    ASSERT_TRUE(zip.Extract(dir.file(QStringLiteral("out/pkg.qvnm")), kPassword, dir.file(QStringLiteral("x"))))
        << zip.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))), ListFiles(dir.file(QStringLiteral("src"))));
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(readBytes(dir.file(QStringLiteral("x/") + it.key())), it.value());
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("x/empty"))).isDir());

    EXPECT_FALSE(
        zip.Extract(dir.file(QStringLiteral("out/pkg.qvnm")), QStringLiteral("wrong"), dir.file(QStringLiteral("y"))));
    EXPECT_EQ(zip.Exceptions.Count(), 1);
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("y"))), QStringList());
}

TEST(Zip, PackingReplacesAnExistingPackageAndFailsCleanlyOnAMissingFolder)
{
    TempDir dir;
    QVNZIP zip;
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("a")), {{QStringLiteral("old.txt"), "old"}}));
    ASSERT_TRUE(zip.PackageFolder(dir.file(QStringLiteral("p.zip")), kPassword, dir.file(QStringLiteral("a"))));
    ASSERT_TRUE(QFile::remove(dir.file(QStringLiteral("a/old.txt"))));
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("a")), {{QStringLiteral("new.txt"), "new"}}));
    ASSERT_TRUE(zip.PackageFolder(dir.file(QStringLiteral("p.zip")), kPassword, dir.file(QStringLiteral("a"))));
    ASSERT_TRUE(zip.Extract(dir.file(QStringLiteral("p.zip")), kPassword, dir.file(QStringLiteral("x"))));
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))), QStringList{QStringLiteral("new.txt")});

    EXPECT_FALSE(zip.PackageFolder(dir.file(QStringLiteral("q.zip")), kPassword, dir.file(QStringLiteral("none"))));
    EXPECT_EQ(zip.Exceptions.Count(), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("q.zip"))));
}

TEST(Zip, EntriesThatLeaveTheDestinationRefuseTheWholeArchive)
{
    TempDir dir;
    const QString dest = dir.file(QStringLiteral("deep/dest"));
    const QList<QStringList> archives{{QStringLiteral("ok.txt"), QStringLiteral("../evil.txt")},
                                      {QStringLiteral("ok.txt"), QStringLiteral("a/../../evil.txt")},
                                      {QStringLiteral("ok.txt"), QStringLiteral("..\\evil.txt")},
                                      {QStringLiteral("ok.txt"), dir.file(QStringLiteral("deep/evil.txt"))}};
    int n = 0;
    for (const QStringList& names : archives) {
        const QString zipPath = dir.file(QStringLiteral("bad%1.zip").arg(++n));
        ASSERT_TRUE(CraftZip(zipPath, names));
        QVNZIP zip;
        EXPECT_FALSE(zip.Extract(zipPath, QString(), dest)) << names.join(QLatin1Char(' ')).toStdString();
        ASSERT_EQ(zip.Exceptions.Count(), 1);
        EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("outside the destination")));
        EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("deep/evil.txt"))));
        EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("evil.txt"))));
        EXPECT_EQ(ListFiles(dest), QStringList()); // checked before anything is written
    }
}

TEST(Zip, BackslashEntryNamesUnpackIntoFolders)
{
    TempDir dir;
    ASSERT_TRUE(
        CraftZip(dir.file(QStringLiteral("win.zip")), {QStringLiteral("tpl\\sub\\a.txt"), QStringLiteral("b.txt")}));
    QVNZIP zip;
    ASSERT_TRUE(zip.Extract(dir.file(QStringLiteral("win.zip")), QString(), dir.file(QStringLiteral("x"))));
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))),
              (QStringList{QStringLiteral("b.txt"), QStringLiteral("tpl/sub/a.txt")}));
}

TEST(Zip, ArchivesBeyondTheSizeOrCountLimitAreRefusedBeforeWriting)
{
    TempDir dir;
    ASSERT_TRUE(CraftZip(dir.file(QStringLiteral("many.zip")),
                         {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
    ASSERT_TRUE(CraftZip(dir.file(QStringLiteral("big.zip")), {QStringLiteral("a"), QStringLiteral("b")}, 600));
    QVNZIP zip;
    zip.SetLimits(1000, 3);
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("many.zip")), QString(), dir.file(QStringLiteral("x"))));
    EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("entries")));
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("big.zip")), QString(), dir.file(QStringLiteral("x"))));
    EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("1000 bytes")));
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))), QStringList());
    QHash<QString, QByteArray> entries;
    EXPECT_FALSE(zip.ReadEntries(dir.file(QStringLiteral("big.zip")), QString(), {QStringLiteral("a")}, entries));

    zip.SetLimits(QVNZIP::DefaultMaxBytes, QVNZIP::DefaultMaxEntries);
    EXPECT_TRUE(zip.Extract(dir.file(QStringLiteral("big.zip")), QString(), dir.file(QStringLiteral("x"))));
}

TEST(Zip, ALinkInsideTheDestinationCannotCarryFilesOutside)
{
    TempDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("dest"))));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("elsewhere")), dir.file(QStringLiteral("dest/link"))));
    ASSERT_TRUE(CraftZip(dir.file(QStringLiteral("l.zip")), {QStringLiteral("link/x.txt")}));
    QVNZIP zip;
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("l.zip")), QString(), dir.file(QStringLiteral("dest"))));
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("elsewhere"))), QStringList());
}

TEST(Zip, NonArchivesFailWithAMessageAndReadEntriesReturnsOnlyWhatWasAsked)
{
    TempDir dir;
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("not.zip")), "plain text"));
    QVNZIP zip;
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("not.zip")), kPassword, dir.file(QStringLiteral("x"))));
    EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("not.zip")));
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("missing.zip")), kPassword, dir.file(QStringLiteral("x"))));

    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("m")), dir.file(QStringLiteral("m.qvnm")),
                            {{QStringLiteral("Model_Info.qvns"), "info"},
                             {QStringLiteral("model_var.qvns"), "vars"},
                             {QStringLiteral("big.txt"), QByteArray(10000, 'x')}}));
    QHash<QString, QByteArray> entries;
    ASSERT_TRUE(zip.ReadEntries(
        dir.file(QStringLiteral("m.qvnm")), kPassword,
        {QStringLiteral("model_info.qvns"), QStringLiteral("model_var.qvns"), QStringLiteral("absent.qvns")}, entries));
    EXPECT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.value(QStringLiteral("model_info.qvns")), QByteArray("info")); // letter case ignored
    EXPECT_FALSE(zip.ReadEntries(dir.file(QStringLiteral("m.qvnm")), QStringLiteral("nope"),
                                 {QStringLiteral("model_var.qvns")}, entries));
}

namespace {

// Runs a Python snippet with the archive path as sys.argv[1] (zipfile, then byte patches).
bool PatchedZip(const QString& path, const QString& script)
{
    return RunProgram(
               QStringLiteral("python3"),
               {QStringLiteral("-c"), QStringLiteral("import sys, zipfile\np = sys.argv[1]\n") + script, path}) == 0;
}

} // namespace

TEST(Zip, NamesInTheWindowsCodePageConflictsAndDamagedEntriesAreJudgedBeforeWriting)
{
    TempDir dir;
    // A name stored in GBK without the UTF-8 flag, as zip programs on Chinese Windows write it: the
    // placeholder has the same byte length and is patched in local header and directory alike.
    ASSERT_TRUE(PatchedZip(dir.file(QStringLiteral("gbk.zip")),
                           QStringLiteral("z = zipfile.ZipFile(p, 'w')\nz.writestr('tpl\\\\XXXX.txt', b'gb')\n"
                                          "z.close()\nd = open(p, 'rb').read()\n"
                                          "open(p, 'wb').write(d.replace(b'XXXX', '模板'.encode('gbk')))\n")));
    QVNZIP zip;
    ASSERT_TRUE(zip.Extract(dir.file(QStringLiteral("gbk.zip")), QString(), dir.file(QStringLiteral("g"))))
        << zip.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("g"))), QStringList{QStringLiteral("tpl/模板.txt")});

    // A file that is also a folder fails unpacking in either order; it is refused up front.
    ASSERT_TRUE(CraftZip(dir.file(QStringLiteral("c1.zip")),
                         {QStringLiteral("ok.txt"), QStringLiteral("a"), QStringLiteral("a/b")}));
    ASSERT_TRUE(CraftZip(dir.file(QStringLiteral("c2.zip")),
                         {QStringLiteral("ok.txt"), QStringLiteral("a\\b"), QStringLiteral("A/../a")}));
    for (const char* name : {"c1.zip", "c2.zip"}) {
        EXPECT_FALSE(zip.Extract(dir.file(QString::fromUtf8(name)), QString(), dir.file(QStringLiteral("c")))) << name;
        EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("both a file and a folder"))) << name;
        EXPECT_EQ(ListFiles(dir.file(QStringLiteral("c"))), QStringList()) << name;
    }

    // Damaged data in an entry nobody asked for: ReadEntries fails just as Extract does.
    ASSERT_TRUE(PatchedZip(dir.file(QStringLiteral("bad.zip")),
                           QStringLiteral("z = zipfile.ZipFile(p, 'w')\nz.writestr('model_info.qvns', b'<r/>')\n"
                                          "z.writestr('t.txt', b'QQQQQQ')\nz.close()\nd = open(p, 'rb').read()\n"
                                          "open(p, 'wb').write(d.replace(b'QQQQQQ', b'QQQQQR'))\n")));
    QHash<QString, QByteArray> entries;
    EXPECT_FALSE(
        zip.ReadEntries(dir.file(QStringLiteral("bad.zip")), QString(), {QStringLiteral("model_info.qvns")}, entries));
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("bad.zip")), QString(), dir.file(QStringLiteral("b"))));
}

TEST(Zip, AnEntryThatUnpacksBeyondItsDeclaredSizeStillMeetsTheLimit)
{
    TempDir dir;
    // 5000 deflated bytes declared as 10 in both headers: only counting while unpacking catches it.
    ASSERT_TRUE(PatchedZip(dir.file(QStringLiteral("lie.zip")),
                           QStringLiteral("import struct\nz = zipfile.ZipFile(p, 'w', zipfile.ZIP_DEFLATED)\n"
                                          "z.writestr('big.txt', b'x' * 5000)\nz.close()\n"
                                          "d = bytearray(open(p, 'rb').read())\n"
                                          "struct.pack_into('<I', d, 22, 10)\n"
                                          "c = d.rfind(b'PK\\x01\\x02')\nstruct.pack_into('<I', d, c + 24, 10)\n"
                                          "open(p, 'wb').write(bytes(d))\n")));
    QVNZIP zip;
    zip.SetLimits(1000, 10);
    EXPECT_FALSE(zip.Extract(dir.file(QStringLiteral("lie.zip")), QString(), dir.file(QStringLiteral("x"))));
    EXPECT_TRUE(zip.Exceptions.ToString().contains(QStringLiteral("more than the 10 bytes")))
        << zip.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))), QStringList()); // the cut-off file is removed
    QHash<QString, QByteArray> entries;
    EXPECT_FALSE(zip.ReadEntries(dir.file(QStringLiteral("lie.zip")), QString(), {QStringLiteral("big.txt")}, entries));
}

TEST(Zip, UnpackingStopsAtTheFirstBytePastAnEntrysClaimedSize)
{
    // 1 MiB of zeros deflated to about 1 KB, with both headers claiming 10 bytes.
    const QString lie = QStringLiteral(QUORVIN_SOURCE_DIR "/tests/data/model/entry_claims_10_bytes.zip");
    TempDir dir;
    QVNZIP zip; // default limits: the claim, not the 1 GiB limit, must stop it
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(zip.Extract(lie, QString(), dir.file(QStringLiteral("x"))));
    EXPECT_TRUE(
        zip.Exceptions.ToString().contains(QStringLiteral("more than the 10 bytes its directory record claims")))
        << zip.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(dir.file(QStringLiteral("x"))), QStringList());
    QHash<QString, QByteArray> entries;
    EXPECT_FALSE(zip.ReadEntries(lie, QString(), {QStringLiteral("model_info.qvns")}, entries));
    EXPECT_TRUE(entries.isEmpty());
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(Zip, ManyEmptyEntriesInManyFoldersAreAllReadAndUnpacked)
{
    TempDir dir;
    const QString many = dir.file(QStringLiteral("many.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("python3"),
                         {QStringLiteral("-c"),
                          QStringLiteral("import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n"
                                         "for i in range(5000): z.writestr('d%d/e%d' % (i % 50, i), b'')\n"
                                         "z.writestr('MODEL_INFO.QVNS', b'info')\nz.close()\n"),
                          many}),
              0);
    QVNZIP zip;
    QHash<QString, QByteArray> entries;
    ASSERT_TRUE(zip.ReadEntries(many, QString(), {QStringLiteral("model_info.qvns")}, entries))
        << zip.Exceptions.ToString().toStdString();
    EXPECT_EQ(entries.value(QStringLiteral("model_info.qvns")), QByteArray("info")); // found in any letter case
    ASSERT_TRUE(zip.Extract(many, QString(), dir.file(QStringLiteral("x"))));
    EXPECT_EQ(QDir(dir.file(QStringLiteral("x/d7"))).entryList(QDir::Files).size(), 100);
}
