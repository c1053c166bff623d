// Every shipped model, generated over the sample table set, must produce valid files: Python that
// compiles and runs against the sample database, SQL that sqlite3 executes, well-formed HTML, and
// no tag left unexpanded. All failures are reported together.
#include "ModelTestSupport.h"
#include "QVNGenerateRun.h"
#include "QVNJsonData.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

void CheckOutputs(const QString& model, const QString& out, const QString& work, QStringList& failures)
{
    const QStringList files = ListFiles(out);
    if (files.isEmpty())
        failures.append(model + QStringLiteral(": produced no files"));
    QStringList html;
    QStringList packages;
    for (const QString& rel : files) {
        const QString path = out + rel;
        const QString text = ReadText(path);
        if (text.contains(QStringLiteral("<ORVE")))
            failures.append(model + QStringLiteral(": ") + rel + QStringLiteral(" still holds a template tag"));
        QString output;
        if (rel.endsWith(QStringLiteral(".py"))) {
            if (RunProgram(QStringLiteral("python3"), {QStringLiteral("-m"), QStringLiteral("py_compile"), path},
                           &output) != 0)
                failures.append(model + QStringLiteral(": ") + rel + QStringLiteral(" does not compile: ") + output);
            // The web application's package and page templates are driven by its browser tests.
            if (rel.endsWith(QStringLiteral("/__init__.py")) && model != QStringLiteral("webapp"))
                packages.append(rel.section(QLatin1Char('/'), 0, -2));
        } else if (rel.endsWith(QStringLiteral(".sql"))) {
            const QString db = work + QStringLiteral("/ddl.db");
            QFile::remove(db);
            if (RunProgram(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), db, QStringLiteral(".read ") + path},
                           &output) != 0)
                failures.append(model + QStringLiteral(": ") + rel + QStringLiteral(" fails in sqlite3: ") + output);
            RunProgram(QStringLiteral("sqlite3"),
                       {db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")}, &output);
            if (output.trimmed() != QStringLiteral("10"))
                failures.append(model + QStringLiteral(": ") + rel + QStringLiteral(" creates ") + output.trimmed() +
                                QStringLiteral(" tables, not 10"));
        } else if (rel.endsWith(QStringLiteral(".html")) && model != QStringLiteral("webapp")) {
            html.append(path);
        }
    }
    QString output;
    if (!html.isEmpty() &&
        RunProgram(QStringLiteral("python3"),
                   QStringList{testDataDir() + QStringLiteral("/model/check_html.py")} + html, &output) != 0)
        failures.append(model + QStringLiteral(": HTML: ") + output);
    for (const QString& pkg : packages) {
        if (RunProgram(QStringLiteral("python3"),
                       {testDataDir() + QStringLiteral("/model/smoke_python.py"), out, pkg,
                        kSource + QStringLiteral("/resources/sample/sample.sql")},
                       &output) != 0)
            failures.append(model + QStringLiteral(": package ") + pkg + QStringLiteral(" fails against the sample: ") +
                            output);
    }
}

} // namespace

TEST(InteropShippedModels, EveryShippedModelGeneratesValidFilesFromTheSampleTables)
{
    TempDir dir;
    UseAppFolder(dir);
    TQXValue value;
    QString error;
    ASSERT_TRUE(QVNJsonData::ReadFile(kSource + QStringLiteral("/resources/sample/tables.json"), value, error))
        << error.toStdString();
    ASSERT_TRUE(value.rows());

    const QStringList sources =
        QDir(kSource + QStringLiteral("/resources/models")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList failures;
    int built = 0;
    for (const QString& name : sources) {
        const QString package =
            QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/models/") + name + QStringLiteral(".qvnm");
        if (!QFileInfo::exists(package)) {
            failures.append(name + QStringLiteral(": the build did not pack ") + package);
            continue;
        }
        const QString out = dir.file(QStringLiteral("out/") + name + QLatin1Char('/'));
        // A fresh copy per model: the build shares the set with the templates.
        auto tables = TQXRows::Create();
        tables->SetTag(value.rows()->Tag());
        tables->Copy(value.rows());
        const int code = RunGenerate(package, out, tables, {}, {});
        if (code != 0)
            failures.append(name + QStringLiteral(": generate exited with ") + QString::number(code));
        CheckOutputs(name, out, dir.path(), failures);
        ++built;
    }
    EXPECT_GE(built, 3);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
}

TEST(InteropShippedModels, ThePackageNameDefaultIsBuiltFromTheProjectNumber)
{
    TempDir dir;
    UseAppFolder(dir);
    const QString package = QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/models/python.qvnm");
    ASSERT_TRUE(QFileInfo::exists(package));
    const QString out = dir.file(QStringLiteral("out/"));
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    EXPECT_EQ(RunGenerate(package, out, tables, {{QStringLiteral("P_NO"), QStringLiteral("Shop-2024")}}, {}), 0);
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("shop_2024_models/__init__.py")));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("shop_2024_models/base.py")));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("shop_2024_models/py.typed"))); // the FOLDER entry
    EXPECT_EQ(
        RunGenerate(package, dir.file(QStringLiteral("out2/")), tables, {}, {QStringLiteral("mv_package=custom")}), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("out2/custom/__init__.py"))));
}
