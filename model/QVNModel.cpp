#include "QVNModel.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "QVNModelPath.h"
#include "QVNModelText.h"
#include "QVNProgress.h"
#include "QVNXML.h"
#include "QVNZIP.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

const QString kInfoFile = QStringLiteral("model_info.qvns");
const QString kVarFile = QStringLiteral("model_var.qvns");
const QString kOrveFile = QStringLiteral("model_orve.qvns");
const QString kFileFile = QStringLiteral("model_file.qvns");

QString field(const TQXColsPtr& cols, const char* key)
{
    const TQXColPtr col = cols->Item(key);
    return col ? col->Value().ToText().trimmed() : QString();
}

// Packages made on Windows may name a file in another letter case than the archive stores it.
// Resolves `rel` below `root` exactly when possible, else part by part without regard to case;
// returns root + rel unchanged when nothing matches.
QString resolveSource(const QString& root, const QString& rel)
{
    const QString exact = root + rel;
    if (rel.isEmpty() || QFileInfo::exists(exact))
        return exact;
    QString current = root;
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QString next = current + part;
        if (QFileInfo::exists(next)) {
            current = next + QLatin1Char('/');
            continue;
        }
        const QStringList names =
            QDir(current).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QString found;
        for (const QString& n : names) {
            if (n.compare(part, Qt::CaseInsensitive) == 0) {
                found = n;
                break;
            }
        }
        if (found.isEmpty())
            return exact;
        current += found + QLatin1Char('/');
    }
    current.chop(1);
    return rel.endsWith(QLatin1Char('/')) ? current + QLatin1Char('/') : current;
}

// True when the existing `path` resolves inside the existing folder `root` (no link leads out).
bool resolvesInside(const QString& path, const QString& root)
{
    const QString p = QFileInfo(path).canonicalFilePath();
    QString r = QFileInfo(root).canonicalFilePath();
    if (p.isEmpty() || r.isEmpty())
        return false;
    if (!r.endsWith(QLatin1Char('/')))
        r += QLatin1Char('/');
    return p + QLatin1Char('/') == r || p.startsWith(r);
}

// A link already in the output folder must not carry an output elsewhere: the deepest part of
// `dest` that exists has to resolve inside `out`. A dangling link counts as existing, since writing
// through it would create its target elsewhere.
bool leadsOutThroughLink(const QString& dest, const QString& out)
{
    const auto present = [](const QString& p) { return QFileInfo::exists(p) || QFileInfo(p).isSymLink(); };
    QString probe = dest;
    while (!probe.isEmpty() && !present(probe)) {
        const qsizetype slash = probe.lastIndexOf(QLatin1Char('/'), probe.endsWith(QLatin1Char('/')) ? -2 : -1);
        if (slash < 0)
            break;
        probe = probe.left(slash + 1);
    }
    return !probe.isEmpty() && present(probe) && !resolvesInside(probe, out);
}

// The first path below the package folder `src` whose copy under `dest` would leave `out` through
// a link, relative to `src`; empty when there is none.
QString folderLeadsOut(const QString& src, const QString& dest, const QString& out)
{
    QDirIterator it(src, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir root(src);
    while (it.hasNext()) {
        const QString rel = root.relativeFilePath(it.next());
        if (leadsOutThroughLink(dest + rel, out))
            return rel;
    }
    return QString();
}

QString escapeHtml(const QString& s)
{
    return s.toHtmlEscaped();
}

} // namespace

QVNModel::QVNModel()
{
    mObj_QVNParser.SetProgressListener([this](const QString& message, bool& cancel) {
        RaiseProgress(message, false);
        if (m_canceled)
            cancel = true;
    });
}

QString QVNModel::Language() const
{
    return m_language.trimmed().isEmpty() ? Mdl_Main::Language().Language() : m_language.trimmed();
}

QString QVNModel::Text(const QString& key) const
{
    return Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNMODEL"), key);
}

void QVNModel::RaiseProgress(QString message, bool self)
{
    if (!message.isEmpty()) {
        if (self)
            m_lastMessage = message;
        else
            message = m_lastMessage + QStringLiteral("  [  ") + message + QStringLiteral("  ]");
    }
    const QVNProgressListener& listener = self ? m_listener : m_detailListener;
    if (listener)
        listener(message, m_canceled);
}

bool QVNModel::CheckCanceled()
{
    QVNEvents::DoEvents();
    RaiseProgress(QString(), true);
    return m_canceled;
}

void QVNModel::LogFailure(const QString& key, const QString& detail, const QVNError* inner)
{
    const QString line = Text(key) + QStringLiteral(" [ ") + detail + QStringLiteral(" ]");
    Exceptions.Add(line);
    if (inner)
        Exceptions.AddExceptions(*inner);
    RaiseProgress(line, true);
}

QString QVNModel::OpenModel(const QString& pStr_Model, const QString& pStr_Password)
{
    if (pStr_Model.isEmpty()) {
        Exceptions.Add(Text(QStringLiteral("ERROR_OPEN_EMPTY")));
        return QString();
    }
    const QString folder =
        m_function.AddFolderMark(m_function.GetTempFolder(Mdl_Main::WritableBase() + QStringLiteral("temp")));
    QVNZIP zip;
    if (!zip.Extract(pStr_Model, pStr_Password, folder)) {
        if (QFileInfo(folder).isDir())
            m_function.DeleteFolder(folder);
        Exceptions.Add(Text(QStringLiteral("ERROR_OPEN")));
        Exceptions.AddExceptions(zip.Exceptions);
        return QString();
    }
    return folder;
}

TQXColsPtr QVNModel::GetModelInfo(const QString& pStr_ModelFile)
{
    if (pStr_ModelFile.isEmpty()) {
        Exceptions.Add(Text(QStringLiteral("ERROR_OPEN_EMPTY")));
        return nullptr;
    }
    const QString language = Language();
    const QStringList infoTexts = QVNModelText::LanguageFiles(kInfoFile, language);
    const QStringList varTexts = QVNModelText::LanguageFiles(kVarFile, language);
    QVNZIP zip;
    QHash<QString, QByteArray> entries;
    if (!zip.ReadEntries(pStr_ModelFile, ModelPassword(), QStringList{kInfoFile, kVarFile} + infoTexts + varTexts,
                         entries)) {
        Exceptions.Add(Text(QStringLiteral("ERROR_OPEN")));
        Exceptions.AddExceptions(zip.Exceptions);
        return nullptr;
    }
    // A description file that is present but damaged refuses the package: read as empty, a cut-off
    // variable list would let a build run with its tags unexpanded.
    QVNXML xml;
    const auto describe = [&](const QString& entry) {
        if (!entries.contains(entry))
            return TQXRows::Create();
        TQXRowsPtr rows = xml.XML2RowsFromData(entries.value(entry), entry);
        if (!xml.Exceptions.IsEmpty()) {
            Exceptions.Add(Text(QStringLiteral("ERROR_DESCRIPTION")) + QStringLiteral(" [ ") + pStr_ModelFile +
                           QStringLiteral(" ]"));
            Exceptions.Add(xml.ErrorText);
            return TQXRowsPtr();
        }
        return rows;
    };
    const TQXRowsPtr info = describe(kInfoFile);
    const TQXRowsPtr vars = info ? describe(kVarFile) : nullptr;
    if (!info || !vars)
        return nullptr;
    if (info->Count() < 1) {
        Exceptions.Add(Text(QStringLiteral("ERROR_NO_INFO")) + QStringLiteral(" [ ") + pStr_ModelFile +
                       QStringLiteral(" ]"));
        return nullptr;
    }
    const TQXColsPtr cols = info->Item(1)->Cols();
    // The texts in the user's language lie over the model's own; a damaged language file refuses the
    // package as a damaged description file does.
    for (const QString& file : infoTexts) {
        if (!entries.contains(file))
            continue;
        const TQXRowsPtr texts = describe(file);
        if (!texts)
            return nullptr;
        QVNModelText::ApplyInfo(cols, texts);
    }
    for (const QString& file : varTexts) {
        if (!entries.contains(file))
            continue;
        const TQXRowsPtr texts = describe(file);
        if (!texts)
            return nullptr;
        QVNModelText::ApplyVariables(vars, texts);
    }
    cols->Add(TQXValue(pStr_ModelFile), QStringLiteral("MI_FILE"));
    cols->Add(TQXValue(vars), QStringLiteral("MI_VARIABLE"));
    return cols;
}

TQXRowsPtr QVNModel::GetAllModels(const QString& folder)
{
    Exceptions.Clear();
    m_skipped.clear();
    auto result = TQXRows::Create();
    if (folder.trimmed().isEmpty())
        return result;
    const QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    int counter = 0;
    for (const QFileInfo& file : files) {
        ++counter;
        const int before = Exceptions.Count();
        const TQXColsPtr cols = GetModelInfo(file.absoluteFilePath());
        if (cols) {
            result->Add(cols, QStringLiteral("MODEL_") + QString::number(counter));
        } else {
            QStringList reason;
            for (int i = before + 1; i <= Exceptions.Count(); ++i)
                reason << Exceptions.Messages->Item(i)->Value().ToText().trimmed();
            m_skipped.append({file.absoluteFilePath(), reason.join(QStringLiteral("; "))});
        }
    }
    return result;
}

bool QVNModel::TargetPath(const QString& out, const QString& to, QString& dest)
{
    const QString normalized = QVNModelPath::Normalize(to);
    if (!QVNModelPath::StaysInside(normalized)) {
        LogFailure(QStringLiteral("ERROR_PATH_OUTSIDE"), normalized);
        return false;
    }
    dest = out + QVNModelPath::Clean(normalized);
    if (leadsOutThroughLink(dest, out)) {
        LogFailure(QStringLiteral("ERROR_PATH_OUTSIDE"), normalized);
        return false;
    }
    return true;
}

const QVNModel::Prepared& QVNModel::Prepare(const QString& cacheKey, const QString& text, TextEncoding encoding,
                                            const TQXColsPtr& sections)
{
    auto it = m_prepared.find(cacheKey);
    if (it == m_prepared.end()) {
        Prepared p;
        p.text = mObj_QVNParser.PrepareCols(text, sections);
        p.encoding = encoding;
        p.overLimit = mObj_QVNParser.OverLimit();
        p.exceptions = mObj_QVNParser.Exceptions;
        it = m_prepared.insert(cacheKey, std::move(p));
    }
    return *it;
}

bool QVNModel::ProduceFile(const QString& src, const QString& mfTo, bool convert, const QString& out,
                           const TQXColsPtr& sections, const TQXColsPtr& rest)
{
    const Prepared& preparedTo = Prepare(QStringLiteral("T") + mfTo, mfTo, TextEncoding::Utf8, sections);
    if (preparedTo.overLimit) {
        LogFailure(QStringLiteral("ERROR_WRITE_FILE"), mfTo, &preparedTo.exceptions);
        return false;
    }
    const QString to = QVNModelPath::Normalize(mObj_QVNParser.ConvertColsPrepared(preparedTo.text, rest));
    if (mObj_QVNParser.OverLimit()) {
        LogFailure(QStringLiteral("ERROR_WRITE_FILE"), mfTo, &mObj_QVNParser.Exceptions);
        return false;
    }
    RaiseProgress(Text(QStringLiteral("MESSAGE_PROCESS_FILE")) + QStringLiteral(" [ ") + to + QStringLiteral(" ] ..."),
                  true);
    QString dest;
    if (!TargetPath(out, to, dest))
        return false;
    if (convert) {
        // The template is read and its section variables applied once per build, not once per table.
        const QString key = QStringLiteral("F") + src;
        const QString shownName = src.startsWith(m_unpacked) ? src.mid(m_unpacked.size()) : src;
        if (!m_prepared.contains(key)) {
            TextEncoding encoding = TextEncoding::Utf8;
            const QString text = m_function.ReadFile(src, &encoding);
            Prepare(key, text, encoding, sections);
            m_diagnostics.SetTemplate(shownName, text);
            m_diagnostics.CheckStructure();
            m_diagnosedSource = key;
        } else if (m_diagnosedSource != key) {
            m_diagnostics.SetTemplate(shownName, m_function.ReadFile(src));
            m_diagnosedSource = key;
        }
        const Prepared& prepared = m_prepared[key];
        if (prepared.overLimit) {
            LogFailure(QStringLiteral("ERROR_WRITE_FILE"), to, &prepared.exceptions);
            return false;
        }
        mObj_QVNParser.SetDiagnostics(&m_diagnostics);
        const QString result = mObj_QVNParser.ConvertColsPrepared(prepared.text, rest);
        mObj_QVNParser.SetDiagnostics(nullptr);
        if (!mObj_QVNParser.OverLimit())
            m_diagnostics.CheckOutput(result);
        LogDiagnostics();
        if (mObj_QVNParser.OverLimit()) {
            // The expansion stopped at the engine's bound: its text is incomplete and is not written.
            LogFailure(QStringLiteral("ERROR_WRITE_FILE"), to, &mObj_QVNParser.Exceptions);
            return false;
        }
        // WriteFile reports through its result only; the collector still holds an earlier failure.
        if (!m_function.WriteFile(dest, result, prepared.encoding)) {
            LogFailure(QStringLiteral("ERROR_WRITE_FILE"), to);
            return false;
        }
        m_expanded.append(dest.mid(out.size()));
        return true;
    }
    // The copy needs its folder, just as a written file gets one.
    if (!m_function.CreateParentFolder(dest) || !m_function.CopyFile(src, dest)) {
        LogFailure(QStringLiteral("ERROR_COPY_FILE"), to, &m_function.Exceptions);
        return false;
    }
    return true;
}

void QVNModel::LogDiagnostics()
{
    const auto& items = m_diagnostics.Items();
    for (; m_loggedDiagnostics < qsizetype(items.size()); ++m_loggedDiagnostics)
        RaiseProgress(items[size_t(m_loggedDiagnostics)].Text(), true);
}

bool QVNModel::BuildProcess(const QString& pStr_ModelFile, const QString& folder, const TQXColsPtr& pCols_Variable,
                            const TQXRowsPtr& tables)
{
    Exceptions.Clear();
    m_diagnostics.Clear();
    m_diagnosedSource.clear();
    m_loggedDiagnostics = 0;
    m_canceled = false;
    m_lastMessage.clear();
    m_prepared.clear();
    m_expanded.clear();
    bool ok = true;
    const QString out = m_function.AddFolderMark(folder);
    TQXColsPtr callerVars = pCols_Variable ? pCols_Variable : TQXCols::Create();
    if (!callerVars->Exists(QVNModelText::LanguageVariable())) {
        // The language the build runs in, for templates that choose their texts on it; the caller's
        // set itself is left as it was.
        auto withLanguage = TQXCols::Create();
        for (const TQXColPtr& col : *callerVars)
            withLanguage->AddRef(col, col->Key());
        withLanguage->Add(TQXValue(Language()), QVNModelText::LanguageVariable());
        callerVars = withLanguage;
    }
    TQXRowsPtr tableSet = tables;
    if (!tableSet) {
        tableSet = TQXRows::Create();
        tableSet->SetTag(QStringLiteral("TABLES"));
    }

    RaiseProgress(Text(QStringLiteral("MESSAGE_CREATE_FOLDER")) + QStringLiteral(" [") + out + QStringLiteral("] ..."),
                  true);
    if (!m_function.CreateFolder(out)) {
        Exceptions.AddExceptions(m_function.Exceptions);
        ok = false;
    }

    QString tmp;
    if (ok) {
        RaiseProgress(Text(QStringLiteral("MESSAGE_OPEN_MODEL")) + QStringLiteral(" [") + pStr_ModelFile +
                          QStringLiteral("] ..."),
                      true);
        tmp = OpenModel(pStr_ModelFile, ModelPassword());
        if (tmp.isEmpty())
            ok = false;
        m_unpacked = tmp;
    }

    TQXColsPtr sections;
    TQXColsPtr global;
    TQXColsPtr globalRest; // global without the sections
    TQXRowsPtr files;
    // Every variable set starts with the sections; the rest of a set leaves out their keys, as the
    // whole set would (the first column of a key wins).
    const auto addRest = [&sections](const TQXColsPtr& rest, const TQXColPtr& col) {
        if (!sections->Exists(col->Key()))
            rest->AddRef(col, col->Key());
    };
    if (ok) {
        RaiseProgress(Text(QStringLiteral("MESSAGE_COLLECT_DATA")), true);
        const QString variableFile = resolveSource(tmp, kOrveFile);
        const QString variableText = m_function.ReadFile(variableFile);
        sections = mObj_QVNParser.GetTempVariable(variableText);
        m_diagnostics.AddSource(variableFile.mid(tmp.size()), variableText);
        for (const QString& file : QVNModelText::LanguageFiles(kOrveFile, Language())) {
            const QString textFile = resolveSource(tmp, file);
            if (!QFileInfo(textFile).isFile())
                continue;
            const QString text = m_function.ReadFile(textFile);
            QVNModelText::ApplySections(sections, QVNModelText::Sections(mObj_QVNParser, text));
            m_diagnostics.AddSource(textFile.mid(tmp.size()), text);
        }
        global = TQXCols::Create();
        for (const TQXColPtr& col : *sections)
            global->AddRef(col, col->Key());
        globalRest = TQXCols::Create();
        auto hex = TQXCols::Create();
        hex->Add(TQXValue(mObj_QVNParser.GetHEX()), QStringLiteral("RVG_HEXTIME"));
        auto tablesCol = TQXCols::Create();
        tablesCol->Add(TQXValue(tableSet), QStringLiteral("MG_TABLES"));
        for (const TQXColsPtr& part : {hex, callerVars, tablesCol}) {
            for (const TQXColPtr& col : *part) {
                global->AddRef(col, col->Key());
                addRest(globalRest, col);
            }
        }
        QVNXML xml;
        files = xml.XML2Rows(resolveSource(tmp, kFileFile));
        if (!xml.Exceptions.IsEmpty()) {
            // Without its file list the package cannot be built. The file is named relative to the
            // package: the temporary folder means nothing to the user.
            const QString where = xml.ErrorText.startsWith(tmp) ? xml.ErrorText.mid(tmp.size()) : xml.ErrorText;
            LogFailure(QStringLiteral("ERROR_DESCRIPTION"), where);
            ok = false;
        }
    }

    if (ok) {
        for (const TQXRowPtr& record : *files) {
            if (CheckCanceled()) {
                ok = false;
                break;
            }
            const TQXColsPtr& rec = record->Cols();
            const QString mfFile = QVNModelPath::Normalize(field(rec, "MF_FILE"));
            const QString mfTo = field(rec, "MF_TO");
            const QString mfType = field(rec, "MF_TYPE");
            const bool convert = field(rec, "MF_CONVERT").compare(QLatin1String("1"), Qt::CaseInsensitive) == 0;
            if (!QVNModelPath::StaysInside(mfFile)) {
                // A package may only use its own files.
                LogFailure(QStringLiteral("ERROR_SOURCE_OUTSIDE"), mfFile);
                ok = false;
                continue;
            }
            const QString src = resolveSource(tmp, QVNModelPath::Clean(mfFile));

            if (mfType.compare(QLatin1String("FOLDER"), Qt::CaseInsensitive) == 0) {
                const QString to = QVNModelPath::Normalize(mObj_QVNParser.ConvertCols(mfTo, global));
                RaiseProgress(Text(QStringLiteral("MESSAGE_PROCESS_FOLDER")) + QStringLiteral(" [ ") + to +
                                  QStringLiteral(" ] ..."),
                              true);
                QString dest;
                QString through;
                if (!TargetPath(out, to, dest)) {
                    ok = false;
                } else if (through = folderLeadsOut(src, m_function.AddFolderMark(dest), out); !through.isEmpty()) {
                    LogFailure(QStringLiteral("ERROR_PATH_OUTSIDE"), m_function.AddFolderMark(to) + through);
                    ok = false;
                } else if (!m_function.CopyFolder(src, dest)) {
                    LogFailure(QStringLiteral("ERROR_COPY_FOLDER"), to, &m_function.Exceptions);
                    ok = false;
                }
            } else if (mfType.compare(QLatin1String("EACHFILE"), Qt::CaseInsensitive) == 0) {
                for (const TQXRowPtr& table : *tableSet) {
                    auto rest = TQXCols::Create();
                    for (const TQXColPtr& col : *table->Cols())
                        addRest(rest, col);
                    if (!sections->Exists(QStringLiteral("RVG_HEXTIME")))
                        rest->Add(TQXValue(mObj_QVNParser.GetHEX()), QStringLiteral("RVG_HEXTIME"));
                    for (const TQXColPtr& col : *callerVars)
                        addRest(rest, col);
                    if (!ProduceFile(src, mfTo, convert, out, sections, rest))
                        ok = false;
                    if (CheckCanceled()) {
                        ok = false;
                        break;
                    }
                }
            } else {
                if (!ProduceFile(src, mfTo, convert, out, sections, globalRest))
                    ok = false;
            }
            if (m_canceled)
                break;
        }
        // A cancel that arrived while the last entry was being expanded still cut that output short.
        if (m_canceled)
            ok = false;
    }
    LogDiagnostics();
    if (!m_diagnostics.IsEmpty())
        RaiseProgress(Text(QStringLiteral("MESSAGE_DIAGNOSTICS")) + QStringLiteral(" [ ") +
                          QString::number(m_diagnostics.Count()) + QStringLiteral(" ]"),
                      true);
    if (ok && m_strict && !m_diagnostics.IsEmpty()) {
        LogFailure(QStringLiteral("ERROR_DIAGNOSTICS"), QString::number(m_diagnostics.Count()));
        ok = false;
    }

    if (!tmp.isEmpty())
        m_function.DeleteFolder(tmp);
    m_prepared.clear();
    m_unpacked.clear();

    RaiseProgress(Text(ok ? QStringLiteral("MESSAGE_GENERATE_OK") : QStringLiteral("MESSAGE_CANCEL")), true);
    return ok;
}

bool QVNModel::FillReadmeLog(const QString& pStr_Folder, const QString& pStr_Readme, const QString& pStr_Log)
{
    // The page's path comes out of the package, so it obeys the same rule as MF_TO.
    const QString readme = QVNModelPath::Normalize(pStr_Readme.trimmed());
    QVNFunction fn;
    const QString folder = fn.AddFolderMark(pStr_Folder);
    if (readme.isEmpty() || !QVNModelPath::StaysInside(readme))
        return false;
    const QString file = folder + QVNModelPath::Clean(readme);
    if (!QFileInfo(file).isFile() || !resolvesInside(file, folder))
        return false;
    TextEncoding encoding = TextEncoding::Utf8;
    QString text = fn.ReadFile(file, &encoding);
    const QString lineBreak = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QStringList lines = QString(pStr_Log).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the log's final line break
    text.replace(QStringLiteral("<ORVE>RVG_LOG</ORVE>"), lines.join(lineBreak), Qt::CaseInsensitive);
    if (text.contains(QStringLiteral("<ORVE>RVG_HTMLLOG</ORVE>"), Qt::CaseInsensitive)) {
        QStringList items;
        for (const QString& line : lines)
            items.append(QStringLiteral("<LI>") + escapeHtml(line) + QStringLiteral("</LI>"));
        const QString html =
            QStringLiteral("<UL>") + lineBreak + items.join(lineBreak) + lineBreak + QStringLiteral("</UL>");
        text.replace(QStringLiteral("<ORVE>RVG_HTMLLOG</ORVE>"), html, Qt::CaseInsensitive);
    }
    return fn.WriteFile(file, text, encoding);
}
