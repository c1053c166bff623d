#include "QVNModelText.h"

#include <QHash>

namespace {

bool isLanguageNumber(const QString& language)
{
    if (language.isEmpty() || language.size() > 10)
        return false;
    for (const QChar c : language) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Replaces the value of `key` in `cols`, or adds the column when it has none.
void setField(const TQXColsPtr& cols, const TQXColPtr& field)
{
    if (const TQXColPtr own = cols->Item(field->Key()))
        own->SetValue(field->Value());
    else
        cols->Add(field->Value(), field->Key());
}

} // namespace

QStringList QVNModelText::LanguageFiles(const QString& file, const QString& language)
{
    // A language that is no number never becomes part of a file name; the fall-back still applies.
    const QString lang = isLanguageNumber(language.trimmed()) ? language.trimmed() : FallbackLanguage();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? file : file.left(dot);
    const QString ext = dot < 0 ? QString() : file.mid(dot);
    QStringList files;
    if (lang != FallbackLanguage())
        files << base + QLatin1Char('.') + FallbackLanguage() + ext;
    files << base + QLatin1Char('.') + lang + ext;
    return files;
}

void QVNModelText::ApplyInfo(const TQXColsPtr& info, const TQXRowsPtr& overlay)
{
    if (!info || !overlay || overlay->Count() < 1)
        return;
    for (const TQXColPtr& field : *overlay->Item(1)->Cols())
        setField(info, field);
}

void QVNModelText::ApplyVariables(const TQXRowsPtr& vars, const TQXRowsPtr& overlay)
{
    if (!vars || !overlay)
        return;
    QHash<QString, TQXColsPtr> byKey;
    for (const TQXRowPtr& var : *vars) {
        const QString key = var->Cols()->Text(QStringLiteral("MV_NO")).trimmed().toCaseFolded();
        if (!key.isEmpty() && !byKey.contains(key))
            byKey.insert(key, var->Cols());
    }
    for (const TQXRowPtr& record : *overlay) {
        const TQXColsPtr target = byKey.value(record->Cols()->Text(QStringLiteral("MV_NO")).trimmed().toCaseFolded());
        if (!target)
            continue;
        for (const TQXColPtr& field : *record->Cols()) {
            if (field->Key().compare(QLatin1String("MV_NO"), Qt::CaseInsensitive) != 0)
                setField(target, field);
        }
    }
}

TQXColsPtr QVNModelText::Sections(QVNParser& parser, QString text)
{
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    return parser.GetTempVariable(text);
}

void QVNModelText::ApplySections(const TQXColsPtr& sections, const TQXColsPtr& overlay)
{
    if (!sections || !overlay)
        return;
    for (const TQXColPtr& section : *overlay)
        setField(sections, section);
}
