#include "QVNUMLConvert.h"

#include "QVNProgress.h"

namespace {
const QString kQuote = QStringLiteral("\"");
const QString kTag = QStringLiteral("<ORVE>RVG_HEXTIME</ORVE>");
// Placeholders: a mark and two digits of base kPlaceholderSpan, all from the private-use area.
constexpr char16_t kMark = 0xF000;
constexpr char16_t kFirst = 0xE000;
constexpr int kPlaceholderSpan = 4096;

QString placeholder(int n)
{
    QString p;
    p += QChar(kMark);
    p += QChar(char16_t(kFirst + n / kPlaceholderSpan));
    p += QChar(char16_t(kFirst + n % kPlaceholderSpan));
    return p;
}

bool containsPlaceholderChars(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() == kMark || (c.unicode() >= kFirst && c.unicode() < kFirst + kPlaceholderSpan))
            return true;
    }
    return false;
}
} // namespace

QString QVNUMLConvert::GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End,
                                       int& pInt_Begin, int& pInt_End)
{
    pInt_Begin = -1;
    pInt_End = -1;
    if (pStr_Begin.isEmpty() || pStr_End.isEmpty())
        return QString();
    const qsizetype b = text.indexOf(pStr_Begin, 0, Qt::CaseInsensitive);
    if (b < 0)
        return QString();
    const qsizetype e = text.indexOf(pStr_End, b + pStr_Begin.size(), Qt::CaseInsensitive);
    if (e < 0)
        return QString();
    pInt_Begin = static_cast<int>(b + 1);
    pInt_End = static_cast<int>(e + 1);
    return text.mid(b + pStr_Begin.size(), e - b - pStr_Begin.size());
}

QString QVNUMLConvert::Suffix(int n)
{
    return QStringLiteral("%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
}

QString QVNUMLConvert::Convert(const QString& text, TQXColsPtr& identifiers)
{
    QString result = text;
    // The sample table's name, caption and primary key, in this order.
    result.replace(QStringLiteral("tb_test"), QStringLiteral("<ORVE>TL_NAME</ORVE>"), Qt::CaseInsensitive);
    result.replace(QStringLiteral("测试"), QStringLiteral("<ORVE>TL_CNAME2</ORVE>"), Qt::CaseInsensitive);
    result.replace(QStringLiteral("testid"), QStringLiteral("<ORVE>TL_PK</ORVE>"), Qt::CaseInsensitive);

    // An identifier is the first quoted text of a line carrying the attribute "quid" or "quidu";
    // a "quidu" line also holds "quid", so it is looked at twice and yields the same text.
    identifiers = TQXCols::Create();
    qsizetype start = 0;
    while (start <= result.size()) {
        qsizetype stop = result.indexOf(QLatin1Char('\n'), start);
        if (stop < 0)
            stop = result.size();
        QStringView line = QStringView(result).mid(start, stop - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line = line.trimmed();
        for (const QString& word : {QStringLiteral("quid"), QStringLiteral("quidu")}) {
            if (!line.contains(word, Qt::CaseInsensitive))
                continue;
            int b = -1, e = -1;
            const QString id = GetBeginEndData(line.toString(), kQuote, kQuote, b, e);
            if (!id.isEmpty() && !identifiers->Exists(id))
                identifiers->Add(TQXValue(id), id);
        }
        QVNEvents::DoEvents();
        start = stop + 1;
    }

    // Each identifier is replaced in turn by plain text search. A later identifier must not match
    // inside a tag put in for an earlier one ("E" or "001" would otherwise break "<ORVE>RVG_HEXTIME
    // </ORVE>001"), so the tags go in as private-use placeholders first, unless the text already
    // holds such characters.
    const bool placeholders =
        !containsPlaceholderChars(result) && identifiers->Count() < kPlaceholderSpan * kPlaceholderSpan;
    int n = 0;
    for (const TQXColPtr& col : *identifiers) {
        ++n;
        result.replace(col->Value().ToText(), placeholders ? placeholder(n) : kTag + Suffix(n), Qt::CaseInsensitive);
    }
    if (placeholders) {
        QString final;
        final.reserve(result.size() + n * (kTag.size() + 3));
        for (qsizetype i = 0; i < result.size(); ++i) {
            if (result.at(i) == QChar(kMark) && i + 2 < result.size()) {
                const int number =
                    (result.at(i + 1).unicode() - kFirst) * kPlaceholderSpan + (result.at(i + 2).unicode() - kFirst);
                final += kTag + Suffix(number);
                i += 2;
            } else {
                final += result.at(i);
            }
        }
        result = final;
    }
    return result;
}
