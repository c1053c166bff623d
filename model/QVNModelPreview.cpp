#include "QVNModelPreview.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNGenerate.h"
#include "QVNLanguage.h"
#include "QVNModelText.h"
#include "QVNXML.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <functional>

namespace {

const QString kOrveFile = QStringLiteral("model_orve.qvns");

/// The block names that are parts of the blocks decided after substitution, never row sets.
bool isSpecialBlock(QStringView name)
{
    static const QStringView names[] = {u"CALC", u"SELECT", u"CASE",      u"CASEDATA", u"ELSEDATA", u"ENCODE",
                                        u"DATA", u"AS",     u"FIXLENGTH", u"LENGTH",   u"STEP",     u"PADRIGHT"};
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

/// The row set tagged `tag` among the values of `cols`, looking into nested column sets too.
TQXRowsPtr findRowSet(const TQXColsPtr& cols, const QString& tag, int depth = 0)
{
    if (!cols || depth > 4)
        return nullptr;
    for (const TQXColPtr& c : *cols) {
        const TQXValue& v = c->Value();
        if (v.type() == TQXValue::Type::Rows && v.rows() && v.rows()->Tag() == tag)
            return v.rows();
    }
    for (const TQXColPtr& c : *cols) {
        const TQXValue& v = c->Value();
        if (v.type() == TQXValue::Type::Cols && v.cols() != cols) {
            if (TQXRowsPtr found = findRowSet(v.cols(), tag, depth + 1))
                return found;
        }
    }
    return nullptr;
}

} // namespace

QString QVNModelPreview::Key::Tag() const
{
    if (rowSet)
        return QStringLiteral("<ORVE_%1>\n</ORVE_%1>").arg(key);
    return QStringLiteral("<ORVE>%1</ORVE>").arg(key);
}

void QVNModelPreview::SetModel(const QString& folder, const TQXRowsPtr& tables,
                               const QList<QPair<QString, QString>>& projectVars)
{
    m_folder = QVNFunction::AddFolderMark(folder);
    m_tables = tables ? tables : TQXRows::Create();
    if (m_tables->Tag().isEmpty())
        m_tables->SetTag(QStringLiteral("TABLES"));
    const QVNFunction fn;
    m_variableText = fn.ReadFile(m_folder + kOrveFile);
    const QString language = Mdl_Main::Language().Language();
    m_languageSections = TQXCols::Create();
    for (const QString& file : QVNModelText::LanguageFiles(kOrveFile, language)) {
        if (QFileInfo(m_folder + file).isFile())
            QVNModelText::ApplySections(m_languageSections,
                                        QVNModelText::Sections(m_parser, fn.ReadFile(m_folder + file)));
    }

    // The model's information record with its variable list, as the build dialog has it (in the
    // program's language).
    QVNXML xml;
    auto info = TQXCols::Create();
    const TQXRowsPtr infoRows = xml.XML2Rows(m_folder + QStringLiteral("model_info.qvns"));
    if (infoRows->Count() > 0)
        info->Copy(infoRows->Item(1)->Cols());
    QVNXML varXml;
    const TQXRowsPtr vars = varXml.XML2Rows(m_folder + QStringLiteral("model_var.qvns"));
    const auto overlay = [&](const QString& name, const auto& apply) {
        for (const QString& file : QVNModelText::LanguageFiles(name, language)) {
            if (QFileInfo(m_folder + file).isFile()) {
                QVNXML textXml;
                apply(textXml.XML2Rows(m_folder + file));
            }
        }
    };
    overlay(QStringLiteral("model_info.qvns"), [&](const TQXRowsPtr& rows) { QVNModelText::ApplyInfo(info, rows); });
    overlay(QStringLiteral("model_var.qvns"),
            [&](const TQXRowsPtr& rows) { QVNModelText::ApplyVariables(vars, rows); });
    info->Add(TQXValue(vars), QStringLiteral("MI_VARIABLE"));
    QString error;
    if (!QVNGenerate::BuildVariables(info, QStringLiteral("out/"), projectVars, {}, m_buildVariables, error))
        m_buildVariables = TQXCols::Create();
    if (!m_buildVariables->Exists(QVNModelText::LanguageVariable()))
        m_buildVariables->Add(TQXValue(language), QVNModelText::LanguageVariable());
}

void QVNModelPreview::SetVariableText(const QString& text)
{
    m_variableText = text;
}

const QString& QVNModelPreview::VariableFileName() const
{
    return kOrveFile;
}

QStringList QVNModelPreview::TableNames() const
{
    QStringList names;
    if (m_tables) {
        for (const TQXRowPtr& row : *m_tables) {
            const QString name = row->Cols()->Text(QStringLiteral("TL_NAME"));
            names << (name.isEmpty() ? row->Key() : name);
        }
    }
    return names;
}

TQXColsPtr QVNModelPreview::Data(int index) const
{
    auto data = m_parser.GetTempVariable(m_variableText);
    QVNModelText::ApplySections(data, m_languageSections);
    auto add = [&data](const TQXColsPtr& cols) {
        if (!cols)
            return;
        for (const TQXColPtr& c : *cols) {
            if (!data->Exists(c->Key()))
                data->AddRef(c, c->Key());
        }
    };
    if (m_tables && index >= 0 && index < m_tables->Count())
        add(m_tables->Item(index + 1)->Cols());
    auto hex = TQXCols::Create();
    hex->Add(TQXValue(QVNParser::GetHEX(QDateTime::currentDateTime())), QStringLiteral("RVG_HEXTIME"));
    add(hex);
    add(m_buildVariables);
    auto tables = TQXCols::Create();
    tables->Add(TQXValue(m_tables ? m_tables : TQXRows::Create()), QStringLiteral("MG_TABLES"));
    add(tables);
    return data;
}

QVNModelPreview::Result QVNModelPreview::Expand(const QString& file, const QString& text, int index)
{
    QVNDiagnostics diagnostics;
    diagnostics.AddSource(file, text);
    if (file != kOrveFile)
        diagnostics.AddSource(kOrveFile, m_variableText);
    diagnostics.CheckStructure();
    Result result;
    m_parser.SetDiagnostics(&diagnostics);
    result.output = m_parser.ConvertCols(text, Data(index));
    m_parser.SetDiagnostics(nullptr);
    diagnostics.CheckOutput(result.output);
    result.diagnostics = diagnostics.Items();
    return result;
}

std::vector<QVNModelPreview::Key> QVNModelPreview::KeysAt(const QString& text, qsizetype position,
                                                          const TQXColsPtr& data)
{
    // The repetition blocks open at the position: the first end tag closes the first begin.
    QStringList open;
    const QStringView before = QStringView(text).left(std::clamp<qsizetype>(position, 0, text.size()));
    qsizetype i = 0;
    while ((i = before.indexOf(u"ORVE_", i)) >= 0) {
        const bool isBegin = i >= 1 && before[i - 1] == u'<';
        const bool isEnd = i >= 2 && before[i - 1] == u'/' && before[i - 2] == u'<';
        qsizetype e = i + 5;
        while (e < before.size() && (before[e].isLetterOrNumber() || before[e] == u'_'))
            ++e;
        const QString name = before.mid(i + 5, e - i - 5).toString();
        i = e;
        if (e >= before.size() || before[e] != u'>' || name.isEmpty() || isSpecialBlock(name) || !(isBegin || isEnd))
            continue;
        if (isBegin && !open.contains(name))
            open << name;
        else if (isEnd)
            open.removeAll(name);
    }

    std::vector<TQXColsPtr> scopes{data};
    QStringList scopeTags{QString()};
    for (const QString& name : open) {
        TQXRowsPtr rows;
        for (auto s = scopes.rbegin(); s != scopes.rend() && !rows; ++s)
            rows = findRowSet(*s, name);
        if (!rows)
            continue;
        auto fields = TQXCols::Create();
        for (const TQXRowPtr& row : *rows) {
            for (const TQXColPtr& c : *row->Cols()) {
                if (!fields->Exists(c->Key()))
                    fields->AddRef(c, c->Key());
            }
        }
        scopes.push_back(fields);
        scopeTags << name;
    }

    std::vector<Key> keys;
    QSet<QString> seen;
    auto add = [&](const QString& key, bool rowSet) {
        const QString id = (rowSet ? QStringLiteral("B") : QStringLiteral("V")) + key;
        if (!seen.contains(id)) {
            seen.insert(id);
            keys.push_back({key, rowSet});
        }
    };
    std::function<void(const TQXColsPtr&, int)> addSet = [&](const TQXColsPtr& cols, int depth) {
        if (!cols || depth > 4)
            return;
        for (const TQXColPtr& c : *cols) {
            const TQXValue& v = c->Value();
            if (v.type() == TQXValue::Type::Rows && v.rows())
                add(v.rows()->Tag().isEmpty() ? c->Key() : v.rows()->Tag(), true);
            else if (v.type() == TQXValue::Type::Cols && v.cols() != cols)
                addSet(v.cols(), depth + 1);
            else
                add(c->Key(), false);
        }
    };
    for (qsizetype s = qsizetype(scopes.size()) - 1; s >= 0; --s) {
        if (s > 0) {
            const QString& tag = scopeTags[s];
            for (const char* suffix : {"_ROW_INDEX", "_ROW_COUNT", "_ROW_KEY"})
                add(QStringLiteral("ORVE_") + tag + QLatin1String(suffix), false);
        }
        addSet(scopes[size_t(s)], 0);
    }
    return keys;
}
