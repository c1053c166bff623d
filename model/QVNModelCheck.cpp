#include "QVNModelCheck.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNGenerate.h"
#include "QVNModel.h"
#include "QVNModelPath.h"
#include "QVNXML.h"
#include "QVNZIP.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

const QString kInfoFile = QStringLiteral("model_info.qvns");
const QString kFileFile = QStringLiteral("model_file.qvns");
const QString kVarFile = QStringLiteral("model_var.qvns");

QString field(const TQXColsPtr& cols, const char* key)
{
    const TQXColPtr col = cols->Item(key);
    return col ? col->Value().ToText().trimmed() : QString();
}

/// The line of the `n`-th (0-based) element named `name` in an XML text; 1 when not found.
int recordLine(const QString& text, const QString& name, int n)
{
    const QRegularExpression open(QStringLiteral("<%1[\\s>/]").arg(QRegularExpression::escape(name)));
    auto it = open.globalMatch(text);
    for (int i = 0; it.hasNext(); ++i) {
        const QRegularExpressionMatch m = it.next();
        if (i == n)
            return int(QStringView(text).left(m.capturedStart()).count(u'\n')) + 1;
    }
    return 1;
}

/// Whether `rel` names something below `root`, in the letter case written or in another one (a
/// package made on Windows may differ in case, and the build accepts that too).
bool existsBelow(const QString& root, const QString& rel)
{
    if (QFileInfo::exists(root + rel))
        return true;
    QString current = root;
    for (const QString& part : rel.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QStringList names = QDir(current).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        const auto found = std::find_if(names.begin(), names.end(), [&part](const QString& n) {
            return n.compare(part, Qt::CaseInsensitive) == 0;
        });
        if (found == names.end())
            return false;
        current += *found + QLatin1Char('/');
    }
    return true;
}

} // namespace

void QVNModelCheck::Add(const QString& shown, const QString& file, int line, const QString& reason)
{
    m_lines << QStringLiteral("%1%2:%3:1: %4").arg(shown, file).arg(line).arg(reason);
}

void QVNModelCheck::CheckDescriptions(const QString& folder, const QString& shown)
{
    const QVNFunction fn;
    auto read = [&](const QString& name, bool required, TQXRowsPtr& rows, QString& text) {
        const QString path = folder + name;
        text = fn.ReadFile(path);
        if (!QFileInfo(path).isFile()) {
            if (required) {
                Add(shown, name, 1, QStringLiteral("the description file is missing"));
                m_descriptionsReadable = false;
            }
            return false;
        }
        QVNXML xml;
        rows = xml.XML2Rows(path);
        if (!xml.Exceptions.IsEmpty()) {
            // "name:line: message" from the parser.
            static const QRegularExpression where(QStringLiteral(":(\\d+): (.*)$"));
            const QRegularExpressionMatch m = where.match(xml.ErrorText);
            Add(shown, name, m.hasMatch() ? m.captured(1).toInt() : 1,
                QStringLiteral("not well-formed XML: ") + (m.hasMatch() ? m.captured(2) : xml.ErrorText).trimmed());
            m_descriptionsReadable = false;
            return false;
        }
        return true;
    };

    TQXRowsPtr info;
    QString infoText;
    if (read(kInfoFile, true, info, infoText)) {
        if (info->Count() == 0) {
            Add(shown, kInfoFile, 1, QStringLiteral("no information record"));
            m_descriptionsReadable = false;
        } else if (field(info->Item(1)->Cols(), "MI_NAME").isEmpty()) {
            Add(shown, kInfoFile, recordLine(infoText, info->Item(1)->Name(), 0),
                QStringLiteral("the information record has no MI_NAME"));
        }
    }
    TQXRowsPtr vars;
    QString varText;
    if (read(kVarFile, false, vars, varText)) {
        int n = 0;
        for (const TQXRowPtr& rec : *vars) {
            if (field(rec->Cols(), "MV_NO").isEmpty())
                Add(shown, kVarFile, recordLine(varText, rec->Name(), n), QStringLiteral("a variable without MV_NO"));
            ++n;
        }
    }
    // Language files: well-formed, and every variable they translate is one of the model's.
    QSet<QString> known;
    if (vars) {
        for (const TQXRowPtr& rec : *vars)
            known.insert(field(rec->Cols(), "MV_NO").toCaseFolded());
    }
    static const QRegularExpression languageFile(QStringLiteral("^model_(info|var)\\.\\d+\\.qvns$"),
                                                 QRegularExpression::CaseInsensitiveOption);
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!languageFile.match(name).hasMatch())
            continue;
        TQXRowsPtr texts;
        QString text;
        if (!read(name, false, texts, text) || !name.startsWith(QLatin1String("model_var"), Qt::CaseInsensitive))
            continue;
        int n = 0;
        for (const TQXRowPtr& rec : *texts) {
            const QString key = field(rec->Cols(), "MV_NO");
            if (!known.contains(key.toCaseFolded()))
                Add(shown, name, recordLine(text, rec->Name(), n),
                    QStringLiteral("MV_NO \"%1\" is no variable of %2").arg(key, kVarFile));
            ++n;
        }
    }

    TQXRowsPtr files;
    QString fileText;
    if (!read(kFileFile, true, files, fileText))
        return;
    int n = 0;
    for (const TQXRowPtr& rec : *files) {
        const TQXColsPtr& cols = rec->Cols();
        const int line = recordLine(fileText, rec->Name(), n++);
        const QString mfFile = QVNModelPath::Normalize(field(cols, "MF_FILE"));
        const QString mfTo = field(cols, "MF_TO");
        if (mfFile.isEmpty()) {
            Add(shown, kFileFile, line, QStringLiteral("a file entry without MF_FILE"));
        } else if (!QVNModelPath::StaysInside(mfFile)) {
            Add(shown, kFileFile, line, QStringLiteral("MF_FILE \"%1\" lies outside the model").arg(mfFile));
        } else if (!existsBelow(folder, QVNModelPath::Clean(mfFile))) {
            Add(shown, kFileFile, line, QStringLiteral("MF_FILE \"%1\" is not in the model").arg(mfFile));
        }
        if (mfTo.isEmpty()) {
            Add(shown, kFileFile, line, QStringLiteral("a file entry without MF_TO"));
        } else {
            // Variables are names, not paths: a value that leads outside is refused by the build.
            static const QRegularExpression variable(QStringLiteral("<ORVE>.*?</ORVE>"));
            QString path = mfTo;
            path.replace(variable, QStringLiteral("x"));
            if (!QVNModelPath::StaysInside(QVNModelPath::Normalize(path)))
                Add(shown, kFileFile, line, QStringLiteral("MF_TO \"%1\" leads outside the output folder").arg(mfTo));
        }
    }
}

bool QVNModelCheck::Check(const QString& model, const TQXRowsPtr& tables,
                          const QList<QPair<QString, QString>>& projectVars)
{
    Exceptions.Clear();
    m_lines.clear();
    m_descriptionsReadable = true;
    QVNFunction fn;
    const QFileInfo input(model);
    if (!input.exists()) {
        Exceptions.Add(QStringLiteral("\"%1\" does not exist").arg(model));
        return false;
    }
    const QString temp = fn.AddFolderMark(fn.GetTempFolder(Mdl_Main::WritableBase() + QStringLiteral("temp")));
    struct Cleanup
    {
        QVNFunction& fn;
        QString folder;
        ~Cleanup() { fn.DeleteFolder(folder); }
    } cleanup{fn, temp};
    if (!fn.CreateFolder(temp)) {
        Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }

    QString folder;
    QString package;
    QString shown;
    if (input.isDir()) {
        folder = fn.AddFolderMark(input.absoluteFilePath());
        shown = fn.AddFolderMark(model);
        if (!QFileInfo::exists(folder + kInfoFile)) {
            Exceptions.Add(QStringLiteral("\"%1\" is not a model folder: it holds no %2").arg(model, kInfoFile));
            return false;
        }
        package = temp + QStringLiteral("model.qvnm");
        QVNZIP zip;
        if (!zip.PackageFolder(package, QVNModel::ModelPassword(), folder)) {
            Exceptions.Add(QStringLiteral("\"%1\" cannot be packed").arg(model));
            Exceptions.AddExceptions(zip.Exceptions);
            return false;
        }
    } else {
        package = input.absoluteFilePath();
        folder = temp + QStringLiteral("model/");
        QVNZIP zip;
        if (!zip.Extract(package, QVNModel::ModelPassword(), folder)) {
            Exceptions.Add(QStringLiteral("\"%1\" is not a model package that can be opened").arg(model));
            Exceptions.AddExceptions(zip.Exceptions);
            return false;
        }
    }

    CheckDescriptions(folder, shown);
    if (!m_descriptionsReadable)
        return true; // the build would only repeat that the model cannot be read

    const qsizetype described = m_lines.size();
    QVNGenerate generate;
    const bool built = generate.Run(package, temp + QStringLiteral("out"), tables, projectVars, {});
    if (generate.BadInput()) {
        Exceptions.AddExceptions(generate.Exceptions);
        return false;
    }
    for (const QString& line : generate.Diagnostics())
        m_lines << shown + line;
    // A failure the description check has not explained (a file that cannot be written, a path a
    // value leads outside) is a finding too.
    if (!built && described == 0 && !generate.Canceled()) {
        for (const QString& cause : generate.Exceptions.ToString().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            m_lines << shown + kFileFile + QStringLiteral(":1:1: the build failed: ") + cause.trimmed();
    }
    return true;
}
