#include "QVNFunction.h"

#include "Mdl_Main.h"
#include "QVNLog.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
const QString kTwoWide = QStringLiteral("中文");
}

TEST(QVNFunction, FolderMarksAreTrimmedAndSingle)
{
    QVNFunction fn;
    EXPECT_EQ(fn.AddFolderMark(QStringLiteral(" /a/b ")), QStringLiteral("/a/b/"));
    EXPECT_EQ(fn.AddFolderMark(QStringLiteral("/a/b/")), QStringLiteral("/a/b/"));
    EXPECT_EQ(fn.AddFolderMark(QStringLiteral("   ")), QString());
    EXPECT_EQ(fn.DeleteFolderMark(QStringLiteral("/a/b/ ")), QStringLiteral("/a/b"));
    EXPECT_EQ(fn.DeleteFolderMark(QStringLiteral("/a/b")), QStringLiteral("/a/b"));
}

TEST(QVNFunction, CreateFolderMakesMissingLevelsAndParentFolderStopsAboveTheFile)
{
    TempDir tmp;
    QVNFunction fn;
    EXPECT_TRUE(fn.CreateFolder(tmp.file(QStringLiteral("a/b/c/"))));
    EXPECT_TRUE(QFileInfo(tmp.file(QStringLiteral("a/b/c"))).isDir());
    EXPECT_TRUE(fn.CreateParentFolder(tmp.file(QStringLiteral("x/y/file.txt"))));
    EXPECT_TRUE(QFileInfo(tmp.file(QStringLiteral("x/y"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(tmp.file(QStringLiteral("x/y/file.txt"))));

    // A file in the way: one line, false, and the levels above stay.
    ASSERT_TRUE(writeBytes(tmp.file(QStringLiteral("blocker")), "x"));
    EXPECT_FALSE(fn.CreateFolder(tmp.file(QStringLiteral("blocker/sub"))));
    EXPECT_EQ(fn.Exceptions.Count(), 1);
    EXPECT_TRUE(fn.CreateFolder(tmp.path()));
    EXPECT_EQ(fn.Exceptions.Count(), 0);
}

TEST(QVNFunction, CopyAndDeleteReportFailuresInTheCollector)
{
    TempDir tmp;
    QVNFunction fn;
    ASSERT_TRUE(writeBytes(tmp.file(QStringLiteral("src/sub/f.txt")), "data"));
    ASSERT_TRUE(writeBytes(tmp.file(QStringLiteral("dst/sub/f.txt")), "old"));
    EXPECT_TRUE(fn.CopyFolder(tmp.file(QStringLiteral("src/")), tmp.file(QStringLiteral("dst"))));
    EXPECT_EQ(readBytes(tmp.file(QStringLiteral("dst/sub/f.txt"))), QByteArray("data"));
    EXPECT_TRUE(fn.CopyFile(tmp.file(QStringLiteral("src/sub/f.txt")), tmp.file(QStringLiteral("g.txt"))));
    EXPECT_FALSE(fn.CopyFile(tmp.file(QStringLiteral("missing")), tmp.file(QStringLiteral("h.txt"))));
    EXPECT_EQ(fn.Exceptions.Count(), 1);

    QFile::setPermissions(tmp.file(QStringLiteral("g.txt")), QFileDevice::ReadOwner);
    EXPECT_TRUE(fn.DeleteFile(tmp.file(QStringLiteral("g.txt"))));
    EXPECT_FALSE(fn.DeleteFile(tmp.file(QStringLiteral("g.txt"))));
    QFile::setPermissions(tmp.file(QStringLiteral("dst/sub/f.txt")), QFileDevice::ReadOwner);
    EXPECT_TRUE(fn.DeleteFolder(tmp.file(QStringLiteral("dst/"))));
    EXPECT_FALSE(QFileInfo::exists(tmp.file(QStringLiteral("dst"))));
    EXPECT_FALSE(fn.DeleteFolder(tmp.file(QStringLiteral("dst"))));
}

TEST(QVNFunction, ReadFileDetectsEncodingsAndExpandsTabs)
{
    TempDir tmp;
    QVNFunction fn;
    TextEncoding enc = TextEncoding::Utf8;

    writeBytes(tmp.file(QStringLiteral("tab.txt")), "a\tb");
    EXPECT_EQ(fn.ReadFile(tmp.file(QStringLiteral("tab.txt")), &enc), QStringLiteral("a    b"));
    EXPECT_EQ(enc, TextEncoding::Utf8);

    writeBytes(tmp.file(QStringLiteral("bom.txt")), "\xEF\xBB\xBF"
                                                    "caf\xC3\xA9");
    EXPECT_EQ(fn.ReadFile(tmp.file(QStringLiteral("bom.txt")), &enc), QStringLiteral("café"));
    EXPECT_EQ(enc, TextEncoding::Utf8Bom);

    writeBytes(tmp.file(QStringLiteral("u16.txt")), QByteArray("\xFF\xFE"
                                                               "A\0-N",
                                                               6));
    EXPECT_EQ(fn.ReadFile(tmp.file(QStringLiteral("u16.txt")), &enc), QStringLiteral("A中"));
    EXPECT_EQ(enc, TextEncoding::Utf16LE);

    // "中文" in GB18030 is D6 D0 CE C4: not valid UTF-8, so read as GB18030.
    writeBytes(tmp.file(QStringLiteral("gb.txt")), "\xD6\xD0\xCE\xC4 ok");
    EXPECT_EQ(fn.ReadFile(tmp.file(QStringLiteral("gb.txt")), &enc), kTwoWide + QStringLiteral(" ok"));
    EXPECT_EQ(enc, TextEncoding::GB18030);

    EXPECT_EQ(fn.ReadFile(tmp.file(QStringLiteral("missing.txt"))), QString());
}

TEST(QVNFunction, WriteFileRoundTripsEachEncodingAndCreatesParents)
{
    TempDir tmp;
    QVNFunction fn;
    const QString text = QStringLiteral("表 ") + kTwoWide + QStringLiteral("\r\nline");
    for (TextEncoding e : {TextEncoding::Utf8, TextEncoding::Utf8Bom, TextEncoding::Utf16LE, TextEncoding::Utf16BE,
                           TextEncoding::GB18030}) {
        const QString path = tmp.file(QStringLiteral("deep/out%1.txt").arg(static_cast<int>(e)));
        ASSERT_TRUE(fn.WriteFile(path, text, e));
        TextEncoding found = TextEncoding::Utf8;
        EXPECT_EQ(fn.ReadFile(path, &found), text);
        EXPECT_EQ(found, e);
    }
    EXPECT_EQ(readBytes(tmp.file(QStringLiteral("deep/out4.txt"))).left(4), QByteArray("\xB1\xED\x20\xD6"));
    EXPECT_FALSE(fn.WriteFile(tmp.path(), QStringLiteral("into a folder")));
}

TEST(QVNFunction, DisplayWidthCountsWideCharactersTwice)
{
    QVNFunction fn;
    EXPECT_EQ(fn.Length(QStringLiteral("abc") + kTwoWide), 7);
    EXPECT_EQ(fn.Length(QStringLiteral("ＡＢ")), 4); // fullwidth forms
    EXPECT_EQ(fn.Length(QStringLiteral("é")), 1);
    EXPECT_EQ(fn.Length(QString::fromUcs4(U"\U00020000")), 2); // CJK extension B, a surrogate pair
}

TEST(QVNFunction, StrFixLengthCutsAndPadsToAnExactWidth)
{
    QVNFunction fn;
    const QString star = QStringLiteral("*");
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("abc"), 5, star, true), QStringLiteral("abc**"));
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("abc"), 5, star, false), QStringLiteral("**abc"));
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("abcdef"), 3, star, true), QStringLiteral("abc"));
    EXPECT_EQ(fn.StrFixLength(kTwoWide, 3, QStringLiteral(" "), true), QStringLiteral("中 "));
    EXPECT_EQ(fn.StrFixLength(kTwoWide, 3, QStringLiteral(" "), false), QStringLiteral(" 中"));
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("  ab  "), 4, QStringLiteral("-"), true), QStringLiteral("ab--"));
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("ab"), 4, QString(), true), QStringLiteral("ab"));
}

TEST(QVNFunction, TextHelpers)
{
    QVNFunction fn;
    EXPECT_EQ(fn.ConvertSQL(QStringLiteral("O'Brien")), QStringLiteral("O''Brien"));
    EXPECT_FALSE(fn.IsEmpty(QStringLiteral(" ")));
    EXPECT_TRUE(fn.IsEmpty(QString()));
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QStringLiteral("  12.5abc")), 12.5);
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QStringLiteral("-3e2x")), -300.0);
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QStringLiteral("7e")), 7.0);
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QStringLiteral("abc")), 0.0);
    EXPECT_DOUBLE_EQ(fn.ToNumeric(QString()), 0.0);
}

TEST(QVNFunction, TempNamesAreFreshAndBelowTheTempFolder)
{
    TempDir tmp;
    const QString temp = tmp.path() + QStringLiteral("/temp");
    QVNFunction fn;
    const QString a = fn.GetTempFolder(temp);
    const QString b = fn.GetTempFolder(temp);
    EXPECT_TRUE(a.startsWith(temp + QLatin1Char('/')));
    EXPECT_NE(a, b);
    EXPECT_FALSE(QFileInfo::exists(a));
}

TEST(QVNLog, ContinuationLinesStartUnderTheMessage)
{
    TempDir tmp;
    QVNLog log;
    log.SetLogFile(tmp.file(QStringLiteral("logs/app.log")));
    ASSERT_TRUE(log.SaveLog(QStringLiteral("first\r\nsecond   ")));
    ASSERT_TRUE(log.SaveLog(QStringLiteral("third")));
    const QString text = QString::fromUtf8(readBytes(tmp.file(QStringLiteral("logs/app.log"))));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(QDateTime::fromString(lines[0].left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
    EXPECT_EQ(lines[0].mid(19), QStringLiteral(" first"));
    EXPECT_EQ(lines[1].left(26), QString(20, QLatin1Char(' ')) + QStringLiteral("second"));
    EXPECT_TRUE(lines[1].startsWith(QString(20, QLatin1Char(' ')) + QStringLiteral("second")));
    EXPECT_TRUE(text.trimmed().endsWith(QStringLiteral(" third")));

    QVNLog nowhere;
    EXPECT_FALSE(nowhere.SaveLog(QStringLiteral("x"), tmp.path()));
    EXPECT_EQ(nowhere.Exceptions.Count(), 1);
}

TEST(QVNFunction, OnlySpacesAreTrimmedBeforeFixingTheWidth)
{
    QVNFunction fn;
    EXPECT_EQ(fn.StrFixLength(QStringLiteral(" a\tb "), 5, QStringLiteral("."), true), QStringLiteral("a\tb.."));
    EXPECT_EQ(fn.StrFixLength(QStringLiteral("\nab"), 4, QStringLiteral("."), false), QStringLiteral(".\nab"));
    EXPECT_EQ(fn.AddFolderMark(QStringLiteral(" /a ")), QStringLiteral("/a/"));
}

TEST(QVNFunction, FolderFailuresOfEveryKindAreReportedNotThrown)
{
    TempDir tmp;
    QVNFunction fn;
    // A name longer than the file system holds, a path through a symbolic-link loop, and a level
    // that is a dangling link: each gives false and one line naming the folder and the reason.
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("loop")), tmp.file(QStringLiteral("loop"))));
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("nowhere")), tmp.file(QStringLiteral("dangling"))));
    const struct
    {
        QString folder;
        QString reason;
    } cases[] = {
        {tmp.file(QString(256, QLatin1Char('n')) + QStringLiteral("/")), QStringLiteral("File name too long")},
        {tmp.file(QStringLiteral("loop/out/")), QStringLiteral("Too many levels of symbolic links")},
        {tmp.file(QStringLiteral("dangling/x")), QStringLiteral("File exists")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(fn.CreateFolder(c.folder)) << c.folder.toStdString();
        ASSERT_EQ(fn.Exceptions.Count(), 1) << c.folder.toStdString();
        EXPECT_TRUE(fn.Exceptions.ToString().contains(QStringLiteral("Cannot create folder")));
        EXPECT_TRUE(fn.Exceptions.ToString().contains(c.reason)) << fn.Exceptions.ToString().toStdString();
        EXPECT_FALSE(fn.WriteFile(c.folder + QStringLiteral("f.txt"), QStringLiteral("x"), TextEncoding::Utf8));
        EXPECT_FALSE(fn.CopyFolder(tmp.path(), c.folder));
    }
    EXPECT_TRUE(fn.Exceptions.ToString().contains(QStringLiteral("Cannot copy folder")));

    // Deleting a tree with a folder that cannot be read still removes what it can and reports.
    ASSERT_TRUE(writeBytes(tmp.file(QStringLiteral("tree/locked/f.txt")), "x"));
    ASSERT_TRUE(QFile::link(tmp.file(QStringLiteral("loop")), tmp.file(QStringLiteral("tree/loop"))));
    QFile::setPermissions(tmp.file(QStringLiteral("tree/locked")), QFileDevice::Permissions());
    fn.DeleteFolder(tmp.file(QStringLiteral("tree")));
    QFile::setPermissions(tmp.file(QStringLiteral("tree/locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(QFileInfo(tmp.file(QStringLiteral("loop"))).isSymLink()); // links are removed, not followed
}
