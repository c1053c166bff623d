#include "QVNProject.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNProgress.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
const QString kSection = QStringLiteral("QVNPROJECT");
const QString kCrLf = QStringLiteral("\r\n");

const QStringList kProjectColumns{"P_NO", "P_NAME", "P_DATABASE", "P_USERID", "P_PWD", "P_PATH"};
const QStringList kTableColumns{"TL_NAME", "TL_CNAME", "TL_USER", "TL_DATE", "TL_DESC", "TL_PK", "TL_PKTYPE"};
const QStringList kColumnColumns{"CL_TL_NAME",   "CL_NAME",        "CL_PKMARK",          "CL_CNAME",
                                 "CL_DESC",      "CL_UPDATE_TYPE", "CL_SEARCH_TYPE",     "CL_MAIN_TYPE",
                                 "CL_SHOW_TYPE", "CL_DEFAULT",     "CL_CONVERT_CAPTION", "CL_CONVERT_VALUE"};
const QStringList kSavedAnnotations{"CL_CNAME",        "CL_DESC",      "CL_UPDATE_TYPE", "CL_SEARCH_TYPE",
                                    "CL_MAIN_TYPE",    "CL_SHOW_TYPE", "CL_DEFAULT",     "CL_CONVERT_CAPTION",
                                    "CL_CONVERT_VALUE"};

QString Trimmed(const TQXColsPtr& cols, const QString& key)
{
    if (!cols)
        return QString();
    const TQXColPtr col = cols->Item(key);
    return col ? col->Value().ToText().trimmed() : QString();
}

/// A stored date in the forms a user or an older file may hold; invalid when none fits.
QDate ParseDate(const QString& text)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return QDate();
    for (const char* format : {"yyyy-MM-dd", "yyyy-M-d", "yyyy/M/d", "M/d/yyyy", "yyyy.M.d"}) {
        const QDate d = QDate::fromString(s, QString::fromLatin1(format));
        if (d.isValid())
            return d;
    }
    QDateTime dt = QDateTime::fromString(s, Qt::ISODate);
    if (!dt.isValid())
        dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(s, QStringLiteral("M/d/yyyy h:mm:ss AP"));
    return dt.isValid() ? dt.date() : QDate();
}

QString FormatDate(const QString& text)
{
    const QDate d = ParseDate(text);
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

/// Flushes a file's bytes to the disk so the rename that follows publishes complete contents.
bool SyncFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void SyncFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

QVNProject::QVNProject() : TABLES(TQXRows::Create()) {}

QVNProject::~QVNProject()
{
    CloseDatabases();
}

QVNDatabase& QVNProject::SystemDatabase()
{
    if (!m_systemDatabase)
        m_systemDatabase = std::make_unique<QVNDatabase>();
    return *m_systemDatabase;
}

QVNDatabase& QVNProject::ProjectDatabase()
{
    if (!m_projectDatabase)
        m_projectDatabase = std::make_unique<QVNDatabase>();
    return *m_projectDatabase;
}

QString QVNProject::TemplateFile() const
{
    return m_templateFile.isEmpty() ? Mdl_Main::AppPath + QStringLiteral("system.qvnm") : m_templateFile;
}

QString QVNProject::Text(const QString& section, const QString& key)
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(section, key);
    return text.isEmpty() ? key : text;
}

QString QVNProject::ConnectionString() const
{
    QString s = P_DATABASE;
    if (!P_USERID.isEmpty())
        s += QStringLiteral(";uid=") + P_USERID + QStringLiteral(";user id=") + P_USERID;
    if (!P_PWD.isEmpty())
        s += QStringLiteral(";pwd=") + P_PWD + QStringLiteral(";password=") + P_PWD;
    return s;
}

QString QVNProject::SystemConnectionString(const QString& projectFile)
{
    // NoCreat=1: the SQLite driver would otherwise create an empty database for a missing file.
    // The driver reads a value up to the next ";" and knows no braces, so OpenSystemFile hands
    // it a link when the path holds one. The project file has no password.
    return QStringLiteral("DRIVER={SQLite3};Database=") + projectFile + QStringLiteral(";NoCreat=1;");
}

void QVNProject::ClearProjectInfo()
{
    P_NO.clear();
    P_NAME.clear();
    P_DATABASE.clear();
    P_USERID.clear();
    P_PWD.clear();
    P_PATH.clear();
    TABLES = TQXRows::Create();
}

bool QVNProject::OpenSystemDatabase()
{
    return OpenSystemFile(m_projectFile);
}

bool QVNProject::OpenSystemFile(const QString& path)
{
    QVNDatabase& db = SystemDatabase();
    db.DisConnectFromServer();
    m_linkFolder.reset();
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists() || !info.isFile()) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_OPEN_PROJECT")));
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_NO_FILE")) + QStringLiteral(" ") + path);
        return false;
    }
    // The driver says no more than "connect failed" about a file it cannot read or that is not a
    // database at all: find out first, so the message names the file and the reason.
    const QString problem = ProjectFileProblem(info.absoluteFilePath());
    if (!problem.isEmpty()) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_OPEN_PROJECT")));
        Exceptions.Add(problem);
        return false;
    }
    QString target = info.absoluteFilePath();
    if (target.contains(QLatin1Char(';')) || target != target.trimmed()) {
        // SQLite resolves the link, so its journal still lands beside the real file.
        m_linkFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorvin-link-XXXXXX"));
        const QString link = m_linkFolder->path() + QStringLiteral("/project.qvn");
        if (!m_linkFolder->isValid() || !QFile::link(target, link)) {
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_OPEN_PROJECT")));
            Exceptions.Add(QStringLiteral("Cannot make a link to ") + target);
            m_linkFolder.reset();
            return false;
        }
        target = link;
    }
    db.AdoConnectString = SystemConnectionString(target);
    if (!db.ConnectToServer(QString())) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_OPEN_PROJECT")));
        Exceptions.Add(QStringLiteral("Cannot open the project file %1:").arg(info.absoluteFilePath()));
        Exceptions.AddExceptions(db.Exceptions);
        m_linkFolder.reset();
        return false;
    }
    // A file the driver opens is not yet a project file: its four tables must be there with the
    // columns this program reads and writes. Anything less is a damaged file, not a connection
    // problem.
    const struct
    {
        const char* table;
        const QStringList* columns;
    } expected[] = {{"tb_Version", nullptr},
                    {"tb_Project", &kProjectColumns},
                    {"tb_Table", &kTableColumns},
                    {"tb_Column", &kColumnColumns}};
    for (const auto& e : expected) {
        const QString columns = e.columns ? e.columns->join(QStringLiteral(", ")) : QStringLiteral("*");
        if (!db.ExecuteSql(
                QStringLiteral("select %1 from %2 where 1 = 0").arg(columns, QString::fromLatin1(e.table)))) {
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_OPEN_PROJECT")));
            Exceptions.Add(QStringLiteral("The project file %1 is damaged: its table %2 is missing or lacks columns")
                               .arg(info.absoluteFilePath(), QString::fromLatin1(e.table)));
            Exceptions.AddExceptions(db.Exceptions);
            db.DisConnectFromServer();
            m_linkFolder.reset();
            return false;
        }
    }
    return true;
}

QString QVNProject::ProjectFileProblem(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("Cannot read the project file %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    char header[16] = {};
    ssize_t got = 0;
    int readErrno = 0;
    while (got < static_cast<ssize_t>(sizeof header)) {
        const ssize_t n = ::read(fd, header + got, sizeof header - static_cast<size_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            readErrno = errno;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (readErrno != 0)
        return QStringLiteral("Cannot read the project file %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(readErrno)));
    // Every SQLite database file starts with this header; an empty file is an empty database,
    // which the table check below reports.
    static const char kHeader[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
    if (got > 0 && (got < 16 || std::memcmp(header, kHeader, 16) != 0))
        return QStringLiteral("The project file %1 is damaged: it is not a database").arg(path);
    return QString();
}

void QVNProject::CloseDatabases()
{
    if (m_systemDatabase)
        m_systemDatabase->DisConnectFromServer();
    if (m_projectDatabase)
        m_projectDatabase->DisConnectFromServer();
    m_linkFolder.reset();
}

bool QVNProject::NewProject(const QString& pStr_ProjectFile)
{
    Exceptions.Clear();
    QVNFunction& fn = Mdl_Main::Function();
    if (!QFileInfo::exists(TemplateFile())) {
        Exceptions.Add(QStringLiteral("The project template is missing: ") + TemplateFile());
        return false;
    }
    if (!fn.CopyFile(TemplateFile(), pStr_ProjectFile)) {
        Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }
    // A template laid into a read-only application folder must not make a read-only project.
    QFile::setPermissions(pStr_ProjectFile,
                          QFile::permissions(pStr_ProjectFile) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    return true;
}

QString QVNProject::InsertStatement(const QString& table, const QStringList& columns, const QStringList& values)
{
    QVNFunction& fn = Mdl_Main::Function();
    QString sql = QStringLiteral("insert into ") + table + QStringLiteral(" (") + kCrLf;
    for (int i = 0; i < columns.size(); ++i)
        sql += QStringLiteral("   ") + columns.at(i) +
               (i + 1 < columns.size() ? QStringLiteral(",") : QStringLiteral(")")) + kCrLf;
    sql += QStringLiteral("   values (") + kCrLf;
    for (int i = 0; i < values.size(); ++i) {
        sql += QStringLiteral("'") + fn.ConvertSQL(values.at(i)) +
               (i + 1 < values.size() ? QStringLiteral("',") + kCrLf : QStringLiteral("')"));
    }
    return sql;
}

bool QVNProject::SaveProject(const QString& pStr_P_NO, const QString& pStr_P_NAME, const QString& pStr_P_DATABASE,
                             const QString& pStr_P_USERID, const QString& pStr_P_PWD, const QString& pStr_P_PATH,
                             const TQXRowsPtr& pRows_Tables)
{
    Exceptions.Clear();
    QVNFunction& fn = Mdl_Main::Function();
    const QFileInfo info(m_projectFile);

    // 1. The backup of the file as it is now. A missing project file fails here, before anything
    //    is written.
    if (!info.exists() || !fn.CopyFile(m_projectFile, m_projectFile + QStringLiteral(".bak"))) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_BACKUP")));
        if (!info.exists())
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_NO_FILE")) + QStringLiteral(" ") + m_projectFile);
        else
            Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }

    // 2. The new contents go into a fresh copy of the template beside the project file (same
    //    file system, so the final rename is atomic).
    // A project file reached through a link is replaced where it really lies; the link stays.
    const QFileInfo real(info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath());
    const QString folder = real.absolutePath();
    // A project file marked read-only stays as it is: the rename below would replace it all the
    // same, so the mark is honoured here (even for a user whom the system lets write anyway).
    // (The mode's own bits: Qt's "user" bits say what this user may do, which for root is all.)
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (!real.isWritable() || !(QFile::permissions(real.absoluteFilePath()) & writeBits)) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_SAVE")));
        Exceptions.Add(QStringLiteral("The project file is read-only: ") + real.absoluteFilePath());
        return false;
    }
    QString temporary;
    {
        // Named with the process id, so a later run can tell a leftover of a killed save from a
        // save in progress (QVNProjectLifecycle::RemoveLeftovers).
        QTemporaryFile reserve(folder + QStringLiteral("/.") + real.fileName() + QLatin1Char('.') +
                               QString::number(::getpid()) + QStringLiteral(".XXXXXX.tmp"));
        reserve.setAutoRemove(false);
        if (reserve.open())
            temporary = reserve.fileName();
    }
    if (temporary.isEmpty() || !fn.CopyFile(TemplateFile(), temporary)) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_SAVE")));
        if (temporary.isEmpty())
            Exceptions.Add(QStringLiteral("Cannot create a file in ") + folder);
        else
            Exceptions.AddExceptions(fn.Exceptions);
        if (!temporary.isEmpty())
            QFile::remove(temporary);
        return false;
    }

    bool ok = OpenSystemFile(temporary);
    if (ok)
        ok = WriteContents(pStr_P_NO, pStr_P_NAME, pStr_P_DATABASE, pStr_P_USERID, pStr_P_PWD, pStr_P_PATH,
                           pRows_Tables);
    CloseDatabases();

    // 3. Publish: keep the old file's permissions, flush, then replace it in one step.
    if (ok) {
        QFile::setPermissions(temporary, QFile::permissions(m_projectFile));
        SyncFile(temporary);
        const QByteArray from = QFile::encodeName(temporary);
        const QByteArray to = QFile::encodeName(real.absoluteFilePath());
        if (::rename(from.constData(), to.constData()) != 0) {
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_SAVE")));
            Exceptions.Add(QStringLiteral("Cannot replace %1: %2")
                               .arg(m_projectFile, QString::fromLocal8Bit(std::strerror(errno))));
            ok = false;
        } else {
            SyncFolder(folder);
        }
    }
    if (!ok) {
        QFile::remove(temporary);
        QFile::remove(temporary + QStringLiteral("-journal"));
    }
    return ok;
}

bool QVNProject::WriteContents(const QString& no, const QString& name, const QString& database, const QString& user,
                               const QString& password, const QString& path, const TQXRowsPtr& tables)
{
    QVNDatabase& db = SystemDatabase();
    if (!db.BeginTrans()) {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_EXEC_SQL")));
        Exceptions.AddExceptions(db.Exceptions);
        return false;
    }
    auto fail = [&] {
        Exceptions.Add(Text(kSection, QStringLiteral("ERROR_EXEC_SQL")));
        Exceptions.AddExceptions(db.Exceptions);
        db.RollbackTrans();
        return false;
    };
    if (!db.ExecuteSql(
            InsertStatement(QStringLiteral("tb_Project"), kProjectColumns, {no, name, database, user, password, path})))
        return fail();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    if (tables) {
        for (const TQXRowPtr& row : *tables) {
            const TQXColsPtr& cols = row->Cols();
            QStringList values;
            for (const QString& field : kTableColumns)
                values << Trimmed(cols, field);
            if (!ParseDate(values[3]).isValid())
                values[3] = today;
            if (!db.ExecuteSql(InsertStatement(QStringLiteral("tb_Table"), kTableColumns, values)))
                return fail();
            const TQXColPtr columnsCol = cols->Item(QStringLiteral("COLUMNS"));
            const TQXRowsPtr columns = columnsCol ? columnsCol->Value().rows() : nullptr;
            if (!columns)
                continue;
            for (const TQXRowPtr& column : *columns) {
                QStringList columnValues{values[0]};
                for (int i = 1; i < kColumnColumns.size(); ++i)
                    columnValues << Trimmed(column->Cols(), kColumnColumns.at(i));
                if (!db.ExecuteSql(InsertStatement(QStringLiteral("tb_Column"), kColumnColumns, columnValues)))
                    return fail();
            }
        }
    }
    if (!db.CommitTrans())
        return fail();
    return true;
}

TQXColsPtr QVNProject::GetVersion()
{
    Exceptions.Clear();
    TQXColsPtr result = TQXCols::Create();
    if (OpenSystemDatabase()) {
        TQXRowsPtr rows = SystemDatabase().GetDatasFromSql(QStringLiteral("select * from tb_Version"));
        if (rows->Count() > 0)
            result = rows->Item(1)->Cols();
    }
    CloseDatabases();
    return result;
}

bool QVNProject::GetProjectInfo()
{
    Exceptions.Clear();
    ClearProjectInfo();
    m_hasProjectRecord = false;
    const bool ok = OpenSystemDatabase();
    if (ok) {
        TQXRowsPtr rows = SystemDatabase().GetDatasFromSql(QStringLiteral("select * from tb_Project"));
        m_hasProjectRecord = rows->Count() > 0;
        if (rows->Count() > 0) {
            const TQXColsPtr cols = rows->Item(1)->Cols();
            P_NO = Trimmed(cols, QStringLiteral("P_NO"));
            P_NAME = Trimmed(cols, QStringLiteral("P_NAME"));
            P_DATABASE = Trimmed(cols, QStringLiteral("P_DATABASE"));
            P_USERID = Trimmed(cols, QStringLiteral("P_USERID"));
            P_PWD = Trimmed(cols, QStringLiteral("P_PWD"));
            P_PATH = Trimmed(cols, QStringLiteral("P_PATH"));
        }
    }
    CloseDatabases();
    return ok;
}

bool QVNProject::GetTables()
{
    Exceptions.Clear();
    TQXRowsPtr schemaRows;
    bool ok = OpenSystemDatabase();
    if (ok) {
        QVNDatabase& target = ProjectDatabase();
        target.AdoConnectString = ConnectionString();
        if (!target.ConnectToServer(QString())) {
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_CONNECT")));
            Exceptions.AddExceptions(target.Exceptions);
            ok = false;
        }
    }
    QHash<QString, QString> extensionObjects;
    if (ok) {
        schemaRows = ProjectDatabase().GetTables(QString());
        if (ProjectDatabase().Exceptions.IsEmpty())
            extensionObjects = ProjectDatabase().GetExtensionObjects();
        if (!ProjectDatabase().Exceptions.IsEmpty()) {
            // The list could not be read (the connection broke, the driver refused): report it
            // rather than present an empty database.
            Exceptions.Add(Text(kSection, QStringLiteral("ERROR_CONNECT")));
            Exceptions.AddExceptions(ProjectDatabase().Exceptions);
            schemaRows = nullptr;
            ok = false;
        }
    }
    if (ok) {
        TQXRowsPtr saved =
            SystemDatabase().GetDatasFromSql(QStringLiteral("select * from tb_Table"), QStringLiteral("TL_NAME"));
        // Every saved column at once, grouped by table in the order they were saved.
        QHash<QString, TQXRowsPtr> savedColumns;
        {
            std::unique_ptr<QVNRecordset> rs;
            if (SystemDatabase().RunAdoSearch(QStringLiteral("select * from tb_Column"), rs) && rs) {
                TQXRowsPtr all = SystemDatabase().SaveAdoToDatas(*rs, QString());
                rs->Close();
                for (const TQXRowPtr& c : *all) {
                    TQXRowsPtr& slot = savedColumns[c->Cols()->Text(QStringLiteral("CL_TL_NAME"))];
                    if (!slot) {
                        slot = TQXRows::Create();
                        slot->SetTag(QStringLiteral("COLUMNS"));
                    }
                    slot->Add(c->Cols(), c->Cols()->Text(QStringLiteral("CL_NAME")));
                }
            }
        }
        QSet<QString> bareNamesSeen;
        for (const TQXRowPtr& row : *schemaRows) {
            const QString name = row->Key().trimmed();
            const TQXColsPtr& cols = row->Cols();
            // A table keyed "schema.name" because another schema holds the same name: a project
            // saved before knew the first of them by the bare name.
            const QString object = Trimmed(cols, QStringLiteral("TABLE_NAME"));
            QString savedName = name;
            if (object != name && !bareNamesSeen.contains(object) && !saved->Exists(name))
                savedName = object;
            bareNamesSeen.insert(object);
            QString cname, user, date, desc, pk, pktype;
            if (const TQXRowPtr s = saved->Item(savedName)) {
                const TQXColsPtr& sc = s->Cols();
                cname = Trimmed(sc, QStringLiteral("TL_CNAME"));
                user = Trimmed(sc, QStringLiteral("TL_USER"));
                date = Trimmed(sc, QStringLiteral("TL_DATE"));
                desc = Trimmed(sc, QStringLiteral("TL_DESC"));
                pk = Trimmed(sc, QStringLiteral("TL_PK"));
                pktype = Trimmed(sc, QStringLiteral("TL_PKTYPE"));
            }
            // The database's comment describes a table the user has not described.
            if (desc.isEmpty())
                desc = Trimmed(cols, QStringLiteral("DESCRIPTION"));
            date = FormatDate(date);
            if (date.isEmpty())
                date = FormatDate(Trimmed(cols, QStringLiteral("DATE_CREATED")));
            if (pktype.isEmpty())
                pktype = QStringLiteral("1");
            cols->Add(name, QStringLiteral("TL_NAME"));
            cols->Add(cname, QStringLiteral("TL_CNAME"));
            cols->Add(cname.isEmpty() ? name : cname, QStringLiteral("TL_CNAME2"));
            cols->Add(user, QStringLiteral("TL_USER"));
            cols->Add(date, QStringLiteral("TL_DATE"));
            cols->Add(desc, QStringLiteral("TL_DESC"));
            cols->Add(pk, QStringLiteral("TL_PK"));
            cols->Add(pktype, QStringLiteral("TL_PKTYPE"));
            TQXRowsPtr columns = savedColumns.value(savedName);
            if (!columns) {
                columns = TQXRows::Create();
                columns->SetTag(QStringLiteral("COLUMNS"));
            }
            cols->Add(columns, QStringLiteral("COLUMNS"));
            cols->Add(Trimmed(cols, QStringLiteral("TABLE_SCHEMA")), QStringLiteral("TL_SCHEMA"));
            cols->Add(Trimmed(cols, QStringLiteral("TABLE_NAME")), QStringLiteral("TL_OBJECT"));
            // A table an extension made (and owns) is the extension's, not the user's.
            cols->Add(extensionObjects.value(Trimmed(cols, QStringLiteral("TABLE_SCHEMA")) + QChar(0x1F) +
                                             Trimmed(cols, QStringLiteral("TABLE_NAME"))),
                      QStringLiteral("TL_EXTENSION"));
            QVNEvents::DoEvents();
        }
    }
    TABLES = schemaRows ? schemaRows : TQXRows::Create();
    CloseDatabases();
    return ok;
}

TQXRowsPtr QVNProject::GetSavedColumns(const QString& tableName)
{
    TQXRowsPtr rows = SystemDatabase().GetDatasFromSql(
        QStringLiteral("select * from tb_Column") + kCrLf + QStringLiteral("   where CL_TL_NAME = '") +
            Mdl_Main::Function().ConvertSQL(tableName) + QStringLiteral("'"),
        QStringLiteral("CL_NAME"));
    rows->SetTag(QStringLiteral("COLUMNS"));
    return rows;
}

TQXRowsPtr QVNProject::GetOneTypeColumns(const QString& pStr_TypeName, const TQXRowsPtr& pRows_Column,
                                         const QString& pStr_Type)
{
    auto result = TQXRows::Create();
    result->SetTag(pStr_TypeName);
    if (!pRows_Column)
        return result;
    for (const TQXRowPtr& row : *pRows_Column) {
        const QString code = Trimmed(row->Cols(), pStr_Type);
        if (!code.isEmpty() && code != QLatin1String("0"))
            result->Add(row->Cols(), row->Key());
    }
    return result;
}

TQXRowsPtr QVNProject::GetColumns(const QString& pStr_TableName)
{
    QVNDatabase& db = ProjectDatabase();
    const QString table = pStr_TableName.trimmed();
    const std::vector<QVNDatabase::ColumnInfo> catalog = db.GetColumnInfo(table);
    // An enum's labels (CL_ENUMS), and the columns of types the program does not know.
    const QHash<QString, TQXRowsPtr> enumLabels = db.GetEnumLabels(table);
    auto noLabels = TQXRows::Create();
    noLabels->SetTag(QStringLiteral("CL_ENUMS"));
    const QHash<QString, QString> unknownTypes = db.GetColumnExtensions(table);
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("COLUMNS"));
    result->Reserve(static_cast<qsizetype>(catalog.size()));

    TQXRowsPtr saved;
    QString pk;
    const TQXRowPtr tableRow = TABLES ? TABLES->Item(table) : nullptr;
    if (tableRow) {
        const TQXColPtr c = tableRow->Cols()->Item(QStringLiteral("COLUMNS"));
        saved = c ? c->Value().rows() : nullptr;
        pk = Trimmed(tableRow->Cols(), QStringLiteral("TL_PK"));
    }
    QVNFunction& fn = Mdl_Main::Function();

    // The saved annotations of a column, in the order of kSavedAnnotations.
    enum { Cname, Desc, UpdateType, SearchType, MainType, ShowType, Default, ConvertCaption, ConvertValue, Notes };
    static_assert(Notes == 9, "one slot per saved annotation");
    const QString kindTexts[4] = {QStringLiteral("update"), QStringLiteral("search"), QStringLiteral("main"),
                                  QStringLiteral("show")};

    for (const QVNDatabase::ColumnInfo& cc : catalog) {
        const QString name = cc.name.trimmed();
        QString cname2 = name;
        const QString cnull = cc.nullable ? QStringLiteral("1") : QStringLiteral("0");
        const int t = cc.dataType;
        const QString type = QVNDatabase::DataType2Name(t);
        // Such a type is "other", with no size: whatever the driver reports for it means nothing.
        const bool other = unknownTypes.contains(cc.name);
        const QString type2 = other ? QStringLiteral("other") : QVNDatabase::DataType2Name2(t);

        QString length = other ? QString() : cc.length.trimmed();
        QString length2;
        if (!length.isEmpty() && length != QLatin1String("0")) {
            length2 = length;
        } else if (!other) {
            length = cc.precision.trimmed();
            if (!length.isEmpty() && length != QLatin1String("0")) {
                const QString scale = cc.scale.trimmed();
                length2 =
                    (!scale.isEmpty() && scale != QLatin1String("0")) ? length + QLatin1Char(',') + scale : length;
            }
        }

        QString note[Notes];
        if (saved) {
            if (const TQXRowPtr s = saved->Item(name)) {
                for (int i = 0; i < Notes; ++i)
                    note[i] = Trimmed(s->Cols(), kSavedAnnotations.at(i));
            }
        }
        const QString cname = note[Cname];
        if (!cname.isEmpty())
            cname2 = cname;
        const bool identity = cc.identity;
        const bool generated = cc.generated;
        // A value the database produces itself is not offered for editing.
        if ((identity || generated) && note[UpdateType].isEmpty())
            note[UpdateType] = QStringLiteral("0");
        // Only the update screen of a text column looks at the length.
        if (note[UpdateType].isEmpty()) {
            QString typingLength;
            if (type2.compare(QLatin1String("string"), Qt::CaseInsensitive) == 0) {
                // Unbounded text has no length to show, but is typed as the long text it is. Else
                // the length as a number and back to text: its leading numeric part, fractions
                // kept, so AutoColumnType rounds it rather than this cutting it off.
                typingLength = length.isEmpty() && cc.unbounded ? QStringLiteral("2147483647")
                                                                : TQXValue(fn.ToNumeric(length)).ToText();
            }
            note[UpdateType] = AutoColumnType(kindTexts[0], type2, typingLength);
        }
        for (int k = 1; k < 4; ++k) {
            if (note[UpdateType + k].isEmpty())
                note[UpdateType + k] = AutoColumnType(kindTexts[k], type2, QString());
        }
        if (note[Default].isEmpty())
            note[Default] = cc.defaultValue.trimmed();
        // The database's comment describes a column the user has not described.
        if (note[Desc].isEmpty())
            note[Desc] = cc.description.trimmed();

        auto cols = TQXCols::Create();
        cols->Reserve(30);
        cols->Add(name, QStringLiteral("CL_NAME"));
        cols->Add(QString(), QStringLiteral("CL_PKMARK"));
        cols->Add(cname, QStringLiteral("CL_CNAME"));
        cols->Add(cname2, QStringLiteral("CL_CNAME2"));
        cols->Add(note[Desc], QStringLiteral("CL_DESC"));
        cols->Add(QStringLiteral("0"), QStringLiteral("CL_PK"));
        cols->Add(QString(), QStringLiteral("CL_FK"));
        cols->Add(cnull, QStringLiteral("CL_NULL"));
        cols->Add(type, QStringLiteral("CL_TYPE"));
        cols->Add(type2, QStringLiteral("CL_TYPE2"));
        cols->Add(length, QStringLiteral("CL_LENGTH"));
        cols->Add(length2, QStringLiteral("CL_LENGTH2"));
        cols->Add(note[UpdateType], QStringLiteral("CL_UPDATE_TYPE"));
        cols->Add(note[SearchType], QStringLiteral("CL_SEARCH_TYPE"));
        cols->Add(note[MainType], QStringLiteral("CL_MAIN_TYPE"));
        cols->Add(note[ShowType], QStringLiteral("CL_SHOW_TYPE"));
        cols->Add(note[Default], QStringLiteral("CL_DEFAULT"));
        cols->Add(note[ConvertCaption], QStringLiteral("CL_CONVERT_CAPTION"));
        cols->Add(note[ConvertValue], QStringLiteral("CL_CONVERT_VALUE"));
        cols->Add(GetColumnConverts(note[ConvertCaption], note[ConvertValue]), QStringLiteral("CL_CONVERTS"));
        const QString dbType = cc.dbType.trimmed();
        const QString dbBase = cc.dbBase.trimmed();
        cols->Add(dbType, QStringLiteral("CL_DBTYPE"));
        cols->Add(dbBase.isEmpty() ? dbType : dbBase, QStringLiteral("CL_DBBASE"));
        cols->Add(other && cc.dbKind.trimmed().isEmpty() ? QStringLiteral("other") : cc.dbKind.trimmed(),
                  QStringLiteral("CL_DBKIND"));
        cols->Add(identity ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("CL_IDENTITY"));
        cols->Add(generated ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("CL_GENERATED"));
        cols->Add(generated ? cc.genExpr.trimmed() : QString(), QStringLiteral("CL_GENEXPR"));
        cols->Add(enumLabels.contains(name) ? enumLabels.value(name) : noLabels, QStringLiteral("CL_ENUMS"));
        cols->Add(unknownTypes.value(cc.name), QStringLiteral("CL_EXTENSION"));
        result->Add(cols, name);
    }

    // Primary-key columns as the database declares them.
    TQXRowsPtr keys = db.GetPrimaryKeys(table);
    QString firstKey;
    for (const TQXRowPtr& key : *keys) {
        const QString column = Trimmed(key->Cols(), QStringLiteral("COLUMN_NAME"));
        if (firstKey.isEmpty())
            firstKey = column;
        if (const TQXRowPtr r = result->Item(column))
            r->Cols()->Item(QStringLiteral("CL_PK"))->SetValue(QStringLiteral("1"));
    }

    // The key the user works with: the saved choice while the column exists, else the
    // database's first key column. A table without a key gets none: any column taken in its place
    // could match several rows, and an update or delete through it would change them all.
    if (!result->Exists(pk))
        pk.clear();
    if (pk.isEmpty() && !firstKey.isEmpty())
        pk = firstKey;
    if (tableRow) {
        const TQXColsPtr& tc = tableRow->Cols();
        if (const TQXColPtr c = tc->Item(QStringLiteral("TL_PK")))
            c->SetValue(pk);
        else
            tc->Add(pk, QStringLiteral("TL_PK"));
    }
    if (!pk.isEmpty()) {
        if (const TQXRowPtr r = result->Item(pk))
            r->Cols()->Item(QStringLiteral("CL_PKMARK"))->SetValue(QStringLiteral("1"));
    }

    // Foreign keys: a column in several keeps the first one the database reports. The referenced
    // table is named by its key in the table list (its schema too when its name is not unique).
    TQXRowsPtr foreign = db.GetForeignKeys(table);
    for (const TQXRowPtr& fk : *foreign) {
        const TQXColsPtr& fc = fk->Cols();
        if (const TQXRowPtr r = result->Item(Trimmed(fc, QStringLiteral("FK_COLUMN_NAME")))) {
            QString target = Trimmed(fc, QStringLiteral("PK_TABLE_KEY"));
            if (target.isEmpty())
                target = Trimmed(fc, QStringLiteral("PK_TABLE_NAME"));
            r->Cols()
                ->Item(QStringLiteral("CL_FK"))
                ->SetValue(target + QLatin1Char('.') + Trimmed(fc, QStringLiteral("PK_COLUMN_NAME")));
        }
    }
    return result;
}
