#include "ModelTestSupport.h"

#include "Mdl_Main.h"
#include "QVNGenerate.h"
#include "QVNJsonData.h"
#include "QVNLanguage.h"
#include "QVNModel.h"
#include "QVNZIP.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace modeltest {

void UseAppFolder(const TempDir& dir)
{
    Mdl_Main::AppPath = dir.file(QStringLiteral("app/"));
    QDir().mkpath(Mdl_Main::AppPath + QStringLiteral("temp"));
    Mdl_Main::Language().SetLanguagePath(QStringLiteral(QUORVIN_SOURCE_DIR) + QStringLiteral("/resources/language"));
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
}

static QString escapeXml(const QString& s)
{
    return s.toHtmlEscaped();
}

QByteArray RecordFile(const QString& root, const QString& record, const std::vector<QStringList>& records)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<%1>\n").arg(root);
    for (const QStringList& fields : records) {
        xml += QStringLiteral("  <%1>\n").arg(record);
        for (qsizetype i = 0; i + 1 < fields.size(); i += 2)
            xml += QStringLiteral("    <%1>%2</%1>\n").arg(fields[i], escapeXml(fields[i + 1]));
        xml += QStringLiteral("  </%1>\n").arg(record);
    }
    xml += QStringLiteral("</%1>\n").arg(root);
    return xml.toUtf8();
}

QByteArray FileList(const std::vector<FileEntry>& entries)
{
    std::vector<QStringList> records;
    for (const FileEntry& e : entries)
        records.push_back({QStringLiteral("MF_FILE"), e.file, QStringLiteral("MF_TO"), e.to, QStringLiteral("MF_TYPE"),
                           e.type, QStringLiteral("MF_CONVERT"), e.convert});
    return RecordFile(QStringLiteral("FILES"), QStringLiteral("FILE"), records);
}

QByteArray Info(const QString& name, const QString& version, const QString& readme)
{
    return RecordFile(QStringLiteral("MODEL"), QStringLiteral("INFO"),
                      {{QStringLiteral("MI_NAME"), name, QStringLiteral("MI_VERSION"), version,
                        QStringLiteral("MI_README"), readme}});
}

bool WriteTree(const QString& folder, const QMap<QString, QByteArray>& files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeBytes(folder + QLatin1Char('/') + it.key(), it.value()))
            return false;
    }
    return QDir().mkpath(folder);
}

bool MakePackage(const QString& folder, const QString& package, const QMap<QString, QByteArray>& files)
{
    if (!WriteTree(folder, files))
        return false;
    QVNZIP zip;
    return zip.PackageFolder(package, QVNModel::ModelPassword(), folder);
}

TQXRowsPtr Tables(const QStringList& names)
{
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    for (const QString& name : names) {
        auto cols = TQXCols::Create();
        cols->Add(TQXValue(name), QStringLiteral("TL_NAME"));
        cols->Add(TQXValue(name.toUpper()), QStringLiteral("TL_CNAME2"));
        auto columns = TQXRows::Create();
        columns->SetTag(QStringLiteral("COLUMNS"));
        for (const QString& c : {QStringLiteral("id"), QStringLiteral("name")}) {
            auto cc = TQXCols::Create();
            cc->Add(TQXValue(c), QStringLiteral("CL_NAME"));
            cc->Add(TQXValue(c == QLatin1String("id") ? QStringLiteral("1") : QStringLiteral("0")),
                    QStringLiteral("CL_PK"));
            columns->Add(cc, c);
        }
        cols->Add(TQXValue(columns), QStringLiteral("COLUMNS"));
        tables->Add(cols, name);
    }
    return tables;
}

TQXColsPtr CallerVariables(const QString& out)
{
    TQXColsPtr vars;
    QString error;
    QVNGenerate::BuildVariables(nullptr, out, {}, {}, vars, error);
    return vars;
}

QString ReadText(const QString& path)
{
    return QString::fromUtf8(readBytes(path));
}

QStringList ListFiles(const QString& folder)
{
    QStringList files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(root.relativeFilePath(it.next()));
    files.sort();
    return files;
}

int RunProgram(const QString& program, const QStringList& args, QString* output, const QString& workingDir,
               int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HasProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

TQXRowsPtr SampleTables()
{
    TQXValue value;
    QString error;
    EXPECT_TRUE(QVNJsonData::ReadFile(kSource + QStringLiteral("/resources/sample/tables.json"), value, error))
        << error.toStdString();
    TQXRowsPtr rows = value.rows() ? value.rows() : TQXRows::Create();
    if (rows->Tag().isEmpty())
        rows->SetTag(QStringLiteral("TABLES"));
    return rows;
}

} // namespace modeltest
