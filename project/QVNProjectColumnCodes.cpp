// The codes a column's annotations start from: the screen kinds of a column by its type, and the
// coded values of a column as rows.
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNProject.h"

#include <cmath>

TQXRowsPtr QVNProject::GetColumnConverts(const QString& captions, const QString& values)
{
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("COLUMN_CONVERTS"));
    const QStringList c = captions.isEmpty() ? QStringList() : captions.split(QLatin1Char('\t'));
    const QStringList v = values.isEmpty() ? QStringList() : values.split(QLatin1Char('\t'));
    for (int i = 0; i < c.size(); ++i) {
        const QString value = i < v.size() ? v.at(i) : QString();
        if (c.at(i).isEmpty() || value.isEmpty())
            continue;
        auto cols = TQXCols::Create();
        cols->Add(c.at(i), QStringLiteral("CC_CAPTION"));
        cols->Add(value, QStringLiteral("CC_VALUE"));
        result->Add(cols);
    }
    return result;
}

QString QVNProject::AutoColumnType(const QString& pStr_ShowType, const QString& pStr_DataType,
                                   const QString& pStr_Length)
{
    auto kindIs = [&](QLatin1String word) { return pStr_ShowType.compare(word, Qt::CaseInsensitive) == 0; };
    auto typeIs = [&](QLatin1String word) { return pStr_DataType.compare(word, Qt::CaseInsensitive) == 0; };
    // The update and search screens differ only in their boolean and long-text codes.
    const bool update = kindIs(QLatin1String("update"));
    if (update || kindIs(QLatin1String("search"))) {
        if (typeIs(QLatin1String("date")))
            return QStringLiteral("3");
        if (typeIs(QLatin1String("numeric")))
            return QStringLiteral("4");
        if (typeIs(QLatin1String("boolean")))
            return update ? QStringLiteral("6") : QStringLiteral("5");
        // Rounds halves to the even neighbour, as the program's number conversion always has.
        if (update && typeIs(QLatin1String("string")) &&
            std::nearbyint(Mdl_Main::Function().ToNumeric(pStr_Length)) >= 101)
            return QStringLiteral("2");
        return QStringLiteral("1");
    }
    if (kindIs(QLatin1String("main")))
        return QStringLiteral("4");
    if (kindIs(QLatin1String("show")))
        return QStringLiteral("1");
    return QString();
}
