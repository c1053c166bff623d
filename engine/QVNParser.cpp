#include "QVNParser.h"

#include "EastAsianWidth.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "VBEvaluator.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr QStringView kVarOpen = u"<ORVE>";
constexpr QStringView kVarClose = u"</ORVE>";
constexpr QStringView kTagOpen = u"<ORVE_";
constexpr QStringView kTagClose = u"</ORVE_";

// Widths beyond this are clamped: a fixed-length block asking for billions of columns would
// otherwise exhaust memory instead of producing output.
constexpr double kMaxFixLength = 1 << 20;

/// The first block at or after `from`: the first begin tag, paired with the first end tag after it.
/// Positions are 0-based; false when the begin tag or its end tag is missing.
bool findBlock(QStringView text, qsizetype from, QStringView begin, QStringView end, qsizetype& b, qsizetype& e)
{
    b = text.indexOf(begin, from);
    if (b < 0)
        return false;
    e = text.indexOf(end, b + begin.size());
    return e >= 0;
}

/// The inner text of the first block of `text` (empty when there is none); `found` tells whether it exists.
QStringView blockPart(QStringView text, QStringView begin, QStringView end, bool* found = nullptr,
                      qsizetype* after = nullptr)
{
    qsizetype b = -1, e = -1;
    const bool ok = findBlock(text, 0, begin, end, b, e);
    if (found)
        *found = ok;
    if (!ok)
        return QStringView();
    if (after)
        *after = e + end.size();
    return text.mid(b + begin.size(), e - b - begin.size());
}

// Line breaks may be CR LF or LF; these report the length of the break found (0 when none).
qsizetype breakAtEnd(QStringView s)
{
    if (s.endsWith(u'\n'))
        return s.size() >= 2 && s.at(s.size() - 2) == u'\r' ? 2 : 1;
    return 0;
}

qsizetype breakAtStart(QStringView s)
{
    if (s.startsWith(u'\n'))
        return 1;
    if (s.startsWith(u"\r\n"))
        return 2;
    return 0;
}

// "Spaces" throughout the engine means the space character only.
QStringView trimSpacesRight(QStringView s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    return s.left(n);
}

QStringView trimSpacesLeft(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == u' ')
        ++i;
    return s.mid(i);
}

QStringView trimSpaces(QStringView s)
{
    return trimSpacesLeft(trimSpacesRight(s));
}

/// The leading decimal number of a text (leading spaces skipped), rounded half to even; 0 when none.
double leadingWholeNumber(QStringView text)
{
    const double v = Mdl_Main::Function().ToNumeric(text.toString());
    return std::isfinite(v) ? std::nearbyint(v) : 0.0;
}

/**
 * Cuts or pads a text to an exact display width (wide characters count 2). The text is walked from
 * the start: it is cut after the character that reaches the width exactly, or before a wide character
 * that would straddle it, which then leaves room for one pad character; a narrower text is padded up
 * to the width. Only spaces count as trimmable, so line breaks in the data keep their width.
 */
QString fixLength(QStringView data, qsizetype width, bool padRight)
{
    qsizetype run = 0;
    qsizetype i = 0;
    while (i < data.size()) {
        const qsizetype start = i;
        char32_t c = data.at(i).unicode();
        if (data.at(i).isHighSurrogate() && i + 1 < data.size() && data.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(data.at(i), data.at(i + 1));
            ++i;
        }
        ++i;
        run += EastAsianWidth::Width(c);
        if (run == width)
            return data.left(i).toString();
        if (run > width) {
            const QStringView kept = data.left(start);
            return padRight ? kept.toString() + u' ' : u' ' + kept.toString();
        }
    }
    if (width > run) {
        const QString fill(width - run, u' ');
        return padRight ? data.toString() + fill : fill + data.toString();
    }
    return data.toString();
}

// Marks the column sets being substituted so a set that (directly or not) contains itself is not
// entered again; without the guard such data would recurse until the stack is exhausted.
class ActiveSet
{
public:
    ActiveSet(std::vector<const TQXCols*>& active, const TQXCols* set) : m_active(active)
    {
        m_entered = std::find(active.begin(), active.end(), set) == active.end();
        if (m_entered)
            active.push_back(set);
    }
    ~ActiveSet()
    {
        if (m_entered)
            m_active.pop_back();
    }
    bool entered() const { return m_entered; }

private:
    std::vector<const TQXCols*>& m_active;
    bool m_entered;
};

const QString& valueText(const TQXValue& v, QString& scratch)
{
    if (const QString* s = v.textPtr())
        return *s;
    scratch = v.ToText();
    return scratch;
}

} // namespace

struct QVNParser::Impl
{
    std::vector<const TQXCols*> activeCols;
};

QVNParser::QVNParser() = default;
QVNParser::~QVNParser() = default;

void QVNParser::SetProgressListener(QVNProgressListener listener)
{
    m_listener = std::move(listener);
}

void QVNParser::RaiseProgress(const QString& message)
{
    if (m_listener)
        m_listener(message, m_canceled);
}

bool QVNParser::CheckCanceled()
{
    QVNEvents::DoEvents();
    RaiseProgress(QString());
    return m_canceled;
}

QString QVNParser::ConvertRows(const QString& pStr_Template, const TQXRowsPtr& pRows_Data)
{
    m_canceled = false;
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Rows (") + (pRows_Data ? pRows_Data->Tag() : QString()) + u')');
    QString text = DeleteUselessEnter(pStr_Template);
    if (text.contains(u"<ORVE")) {
        text = ConvertRowsMarkData(text, pRows_Data);
        text = ConvertCalcData(text);
        text = ConvertSelectData(text);
        text = ConvertFixLengthData(text);
    }
    return text;
}

QString QVNParser::ConvertCols(const QString& pStr_Template, const TQXColsPtr& pCols_Data)
{
    m_canceled = false;
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Cols (") + (pCols_Data ? pCols_Data->Tag() : QString()) + u')');
    QString text = DeleteUselessEnter(pStr_Template);
    if (text.contains(u"<ORVE")) {
        text = ConvertColsMarkData(text, pCols_Data);
        text = ConvertCalcData(text);
        text = ConvertSelectData(text);
        text = ConvertFixLengthData(text);
    }
    return text;
}

QString QVNParser::GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End,
                                   int& pInt_Begin, int& pInt_End)
{
    qsizetype b = -1, e = -1;
    if (!findBlock(text, 0, pStr_Begin, pStr_End, b, e)) {
        pInt_Begin = -1;
        pInt_End = -1;
        return QString();
    }
    pInt_Begin = static_cast<int>(b + 1);
    pInt_End = static_cast<int>(e + 1);
    return text.mid(b + pStr_Begin.size(), e - b - pStr_Begin.size());
}

// Repetition blocks of one row set: each block's body is copied once per row, the row's columns
// substituted in its copy, then the row placeholders; the expansion is never rescanned for this tag.
QString QVNParser::ConvertRowsMarkData(const QString& text, const TQXRowsPtr& pRows_MarkData)
{
    const QString tag = pRows_MarkData ? pRows_MarkData->Tag() : QString();
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert RowsMark (") + tag + u')');
    if (!pRows_MarkData || tag.isEmpty())
        return text;
    const QString begin = QStringLiteral("<ORVE_") + tag + u'>';
    const QString end = QStringLiteral("</ORVE_") + tag + u'>';
    const QStringView view(text);
    qsizetype b = -1, e = -1;
    if (!findBlock(view, 0, begin, end, b, e))
        return text;

    const QString rowPrefix = QStringLiteral("<ORVE>ORVE_") + tag + QStringLiteral("_ROW_");
    const QString indexTag = rowPrefix + QStringLiteral("INDEX</ORVE>");
    const QString countTag = rowPrefix + QStringLiteral("COUNT</ORVE>");
    const QString keyTag = rowPrefix + QStringLiteral("KEY</ORVE>");
    const QString count = QString::number(pRows_MarkData->Count());

    QString result;
    result.reserve(text.size() * 2);
    qsizetype pos = 0;
    do {
        const QString body = view.mid(b + begin.size(), e - b - begin.size()).toString();
        result.append(view.mid(pos, b - pos));
        int counter = 0;
        for (const TQXRowPtr& row : *pRows_MarkData) {
            ++counter;
            QString piece = ConvertColsMarkData(body, row->Cols());
            if (piece.contains(rowPrefix)) {
                piece.replace(indexTag, QString::number(counter));
                piece.replace(countTag, count);
                piece.replace(keyTag, row->Key());
            }
            // Selection blocks inside a repetition are decided per row once no variable is left.
            if (!piece.contains(kVarOpen))
                piece = ConvertSelectData(piece);
            result.append(piece);
        }
        pos = e + end.size();
        if (CheckCanceled())
            break;
    } while (findBlock(view, pos, begin, end, b, e));
    result.append(view.mid(pos));
    return result;
}

// Variables of one column set, global and sequential in column order: each column's value is
// inserted everywhere before the next column is looked for, so a value inserted for an earlier
// column is searched for later keys but never for earlier ones. Nested sets expand in their place
// in that order.
QString QVNParser::ConvertColsMarkData(const QString& text, const TQXColsPtr& pCols_MarkData)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert ColsMark (") + (pCols_MarkData ? pCols_MarkData->Tag() : QString()) +
                      u')');
    if (!pCols_MarkData)
        return text;
    if (!m_impl)
        m_impl = std::make_unique<Impl>();
    ActiveSet guard(m_impl->activeCols, pCols_MarkData.get());
    if (!guard.entered())
        return text;

    QString out = text;
    auto it = pCols_MarkData->begin();
    const auto last = pCols_MarkData->end();
    while (it != last) {
        const TQXValue& value = (*it)->Value();
        if (value.type() == TQXValue::Type::Rows) {
            out = ConvertRowsMarkData(out, value.rows());
            ++it;
            if (CheckCanceled())
                break;
            continue;
        }
        if (value.type() == TQXValue::Type::Cols) {
            out = ConvertColsMarkData(out, value.cols());
            ++it;
            if (CheckCanceled())
                break;
            continue;
        }
        // A run of plain columns. The checks run in column order first; a cancel after column k
        // leaves the columns after k unsubstituted, exactly as checking between substitutions would.
        auto runEnd = it;
        bool canceled = false;
        while (runEnd != last) {
            const TQXValue::Type t = (*runEnd)->Value().type();
            if (t == TQXValue::Type::Rows || t == TQXValue::Type::Cols)
                break;
            ++runEnd;
            if (CheckCanceled()) {
                canceled = true;
                break;
            }
        }
        SubstituteRun(out, it, runEnd);
        if (canceled)
            break;
        it = runEnd;
    }
    return out;
}

/**
 * Substitutes the plain columns [first, last) into `text` with the result of replacing them one
 * after another. When the order provably cannot matter the text is scanned once:
 *   - the variable markers of the text alternate ("<ORVE>" then "</ORVE>"), so every candidate is a
 *     disjoint span whose key holds neither marker;
 *   - no key of the run holds a marker, so a key can only match such a span;
 *   - no inserted value holds "<" or ">", and no marker forms across an inserted value and its
 *     neighbours (checked on the result), so no value creates a new match for a later column.
 * Under these conditions every column replaces exactly the spans that hold its key in the original
 * text, the first column of a key winning, which is what the single scan does. Otherwise the
 * columns are replaced one by one in order.
 */
void QVNParser::SubstituteRun(QString& text, TQXCols::iterator first, TQXCols::iterator last)
{
    if (first == last || !text.contains(kVarOpen))
        return; // every variable starts with "<ORVE>": nothing can match
    if (SubstituteRunOnce(text, first, last))
        return;
    QString scratch;
    for (auto it = first; it != last; ++it) {
        const TQXCol& col = **it;
        const QString tag = QStringLiteral("<ORVE>") + col.Key() + QStringLiteral("</ORVE>");
        if (text.contains(tag))
            text.replace(tag, valueText(col.Value(), scratch));
    }
}

bool QVNParser::SubstituteRunOnce(QString& text, TQXCols::iterator first, TQXCols::iterator last)
{
    const QStringView t(text);
    // Candidate spans, requiring strictly alternating markers.
    struct Span
    {
        qsizetype open, close;
    };
    std::vector<Span> spans;
    qsizetype nextOpen = t.indexOf(kVarOpen);
    qsizetype nextClose = t.indexOf(kVarClose);
    while (nextOpen >= 0) {
        if (nextClose < nextOpen)
            return false; // a close marker without an open one (or none at all)
        const qsizetype followingOpen = t.indexOf(kVarOpen, nextOpen + kVarOpen.size());
        if (followingOpen >= 0 && followingOpen < nextClose)
            return false; // two open markers in a row
        spans.push_back(Span{nextOpen, nextClose});
        nextOpen = followingOpen;
        nextClose = t.indexOf(kVarClose, nextClose + kVarClose.size());
    }
    if (nextClose >= 0)
        return false;

    QHash<QStringView, const TQXValue*> values;
    values.reserve(64);
    for (auto it = first; it != last; ++it) {
        const QString& key = (*it)->Key();
        if (key.contains(kVarOpen) || key.contains(kVarClose))
            return false;
        if (!values.contains(QStringView(key)))
            values.insert(QStringView(key), &(*it)->Value());
    }

    QString out;
    out.reserve(text.size() + text.size() / 2);
    struct Inserted
    {
        qsizetype from, to;
    };
    std::vector<Inserted> inserted;
    qsizetype pos = 0;
    QString scratch;
    for (const Span& span : spans) {
        const qsizetype keyStart = span.open + kVarOpen.size();
        const auto found = values.constFind(t.mid(keyStart, span.close - keyStart));
        if (found == values.constEnd())
            continue;
        const QString& value = valueText(**found, scratch);
        if (value.contains(u'<') || value.contains(u'>'))
            return false;
        out.append(t.mid(pos, span.open - pos));
        const qsizetype from = out.size();
        out.append(value);
        if (value.size() <= 5)
            inserted.push_back(Inserted{from, out.size()});
        pos = span.close + kVarClose.size();
    }
    if (pos == 0)
        return true; // no span matched a key: the text stays as it is
    out.append(t.mid(pos));

    // A marker containing an inserted value (only short values fit inside one) would be new.
    const QStringView o(out);
    for (const Inserted& ins : inserted) {
        const qsizetype ws = std::max<qsizetype>(0, ins.from - 7);
        const qsizetype we = std::min<qsizetype>(o.size(), ins.to + 7);
        const QStringView window = o.mid(ws, we - ws);
        for (const QStringView marker : {kVarOpen, kVarClose}) {
            for (qsizetype m = window.indexOf(marker); m >= 0; m = window.indexOf(marker, m + 1)) {
                const qsizetype at = ws + m;
                if (at < ins.to && at + marker.size() > ins.from)
                    return false;
            }
        }
    }
    text = std::move(out);
    return true;
}

// The tag-line rule: a block tag ("<ORVE_..." or "</ORVE_...") that stands alone on its line takes
// the line break before it and the spaces around it along, so tag lines leave no blank lines.
QString QVNParser::DeleteUselessEnter(const QString& text)
{
    const QStringView t(text);
    qsizetype nextOpen = t.indexOf(kTagOpen);
    qsizetype nextClose = t.indexOf(kTagClose);
    if (nextOpen < 0 && nextClose < 0)
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (true) {
        if (nextOpen >= 0 && nextOpen < pos)
            nextOpen = t.indexOf(kTagOpen, pos);
        if (nextClose >= 0 && nextClose < pos)
            nextClose = t.indexOf(kTagClose, pos);
        qsizetype s;
        if (nextOpen < 0)
            s = nextClose;
        else if (nextClose < 0)
            s = nextOpen;
        else
            s = std::min(nextOpen, nextClose);
        if (s < 0)
            break;
        const qsizetype tagEnd = t.indexOf(u'>', s);
        if (tagEnd < 0)
            break;
        const QStringView before = trimSpacesRight(t.mid(pos, s - pos));
        const QStringView after = trimSpacesLeft(t.mid(tagEnd + 1));
        const QStringView tag = t.mid(s, tagEnd + 1 - s);
        const qsizetype brk = breakAtEnd(before);
        if (brk > 0 && !tag.contains(u'\n') && (after.isEmpty() || breakAtStart(after) > 0)) {
            result.append(before.chopped(brk));
            result.append(tag);
            pos = t.size() - after.size();
        } else {
            result.append(t.mid(pos, tagEnd + 1 - pos));
            pos = tagEnd + 1;
        }
    }
    result.append(t.mid(pos));
    return result;
}

QString QVNParser::ConvertCalcData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Calc Data"));
    return ScanBlocks(text, u"<ORVE_CALC>", u"</ORVE_CALC>",
                      [this](QStringView body) { return GetCalcData(body.toString()); });
}

QString QVNParser::ConvertFixLengthData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert FixLength Data"));
    return ScanBlocks(text, u"<ORVE_FIXLENGTH>", u"</ORVE_FIXLENGTH>", [](QStringView body) {
        const QStringView data = trimSpaces(blockPart(body, u"<ORVE_DATA>", u"</ORVE_DATA>"));
        double length = leadingWholeNumber(blockPart(body, u"<ORVE_LENGTH>", u"</ORVE_LENGTH>"));
        const double step = leadingWholeNumber(blockPart(body, u"<ORVE_STEP>", u"</ORVE_STEP>"));
        const bool padRight = blockPart(body, u"<ORVE_PADRIGHT>", u"</ORVE_PADRIGHT>") != u"2";
        const double chars = static_cast<double>(data.size());
        if (step > 0 && chars > length)
            length += std::ceil((chars - length) / step) * step; // grow by whole steps until it fits
        length = std::clamp(length, -kMaxFixLength, kMaxFixLength);
        return fixLength(data, static_cast<qsizetype>(length), padRight);
    });
}

// Selection blocks: the data of the first case whose condition does not evaluate to "False". A
// block that selects nothing and stands alone on its line(s) removes that line with it.
QString QVNParser::ConvertSelectData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert SelectData"));
    constexpr QStringView begin = u"<ORVE_SELECT>";
    constexpr QStringView end = u"</ORVE_SELECT>";
    const QStringView view(text);
    qsizetype b = -1, e = -1;
    if (!findBlock(view, 0, begin, end, b, e))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    do {
        const QStringView body = view.mid(b + begin.size(), e - b - begin.size());
        bool chosen = false;
        const QStringView data = SelectCase(body, chosen);
        const QStringView prefix = view.mid(pos, b - pos);
        pos = e + end.size();
        const QStringView prefixTrimmed = trimSpacesRight(prefix);
        const QStringView suffixTrimmed = trimSpacesLeft(view.mid(pos));
        const qsizetype brk = breakAtStart(suffixTrimmed);
        if (!chosen && breakAtEnd(prefixTrimmed) > 0 && brk > 0) {
            result.append(prefixTrimmed);
            pos = view.size() - suffixTrimmed.size() + brk;
        } else {
            result.append(prefix);
            result.append(data);
        }
        if (CheckCanceled())
            break;
    } while (findBlock(view, pos, begin, end, b, e));
    result.append(view.mid(pos));
    return result;
}

/// Decides one selection body: cases pair up by order of appearance, a case with an empty condition
/// ends the list, and an ELSEDATA part after the last CASEDATA part acts as an always-true case.
QStringView QVNParser::SelectCase(QStringView body, bool& chosen)
{
    chosen = false;
    QStringView w = body;
    while (true) {
        const QStringView condition = blockPart(w, u"<ORVE_CASE>", u"</ORVE_CASE>");
        bool dataFound = false;
        qsizetype after = 0;
        const QStringView data = blockPart(w, u"<ORVE_CASEDATA>", u"</ORVE_CASEDATA>", &dataFound, &after);
        if (condition.isEmpty() || !dataFound)
            break;
        if (GetCalcData(trimSpaces(condition).toString()) != u"False") {
            chosen = true;
            return data;
        }
        w = w.mid(after);
    }
    const QStringView elseData = blockPart(w, u"<ORVE_ELSEDATA>", u"</ORVE_ELSEDATA>");
    if (!elseData.isEmpty()) {
        // The else part is the case "1" = "1", which is always true.
        chosen = true;
        return elseData;
    }
    return QStringView();
}

template <typename Replace>
QString QVNParser::ScanBlocks(const QString& text, QStringView begin, QStringView end, Replace replace)
{
    const QStringView view(text);
    qsizetype b = -1, e = -1;
    if (!findBlock(view, 0, begin, end, b, e))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    do {
        result.append(view.mid(pos, b - pos));
        result.append(replace(view.mid(b + begin.size(), e - b - begin.size())));
        pos = e + end.size();
        if (CheckCanceled())
            break;
    } while (findBlock(view, pos, begin, end, b, e));
    result.append(view.mid(pos));
    return result;
}

QString QVNParser::GetCalcData(const QString& expression)
{
    if (!m_evaluator)
        m_evaluator = std::make_unique<VBEvaluator>();
    return m_evaluator->EvaluateToText(expression);
}

QString QVNParser::GetHEX()
{
    return GetHEX(QDateTime::currentDateTime());
}

QString QVNParser::GetHEX(const QDateTime& now)
{
    // Wall-clock seconds since midnight of 1 January, as the calendar shows them.
    const QDate today = now.date();
    const qint64 seconds = QDate(today.year(), 1, 1).daysTo(today) * 86400 + now.time().msecsSinceStartOfDay() / 1000;
    const QString decimal = QString::number(seconds);
    QString hex;
    for (qsizetype i = 0; i < decimal.size(); i += 9)
        hex += QString::number(decimal.mid(i, 9).toLongLong(), 16).toUpper();
    return (hex + QStringLiteral("0000000000")).left(9);
}

TQXColsPtr QVNParser::GetTempVariable(const QString& fileName)
{
    return ParseTempVariable(Mdl_Main::Function().ReadFile(fileName));
}

// The variable-file rules: a line that is "[name]" (spaces around it allowed) starts a section;
// the section's value is its lines as read, joined by the text's own line break, without the final
// break, with the tag-line rule applied. Lines before the first header are ignored.
TQXColsPtr QVNParser::ParseTempVariable(const QString& text)
{
    auto cols = TQXCols::Create();
    const QStringView sep = text.contains(u"\r\n") ? QStringView(u"\r\n") : QStringView(u"\n");
    QString section;
    QString value;
    auto finish = [&] {
        if (value.endsWith(sep))
            value.chop(sep.size());
        cols->Add(DeleteUselessEnter(value), section);
    };
    const QStringView t(text);
    qsizetype pos = 0;
    while (true) {
        const qsizetype nl = t.indexOf(u'\n', pos);
        QStringView line = nl < 0 ? t.mid(pos) : t.mid(pos, nl - pos);
        if (nl >= 0 && line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = trimSpaces(line);
        if (!trimmed.isEmpty() && trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            if (!section.isEmpty())
                finish();
            section = trimmed.mid(1, trimmed.size() - 2).toString();
            value.clear();
        } else if (!section.isEmpty()) {
            value.append(line);
            value.append(sep);
        }
        if (nl < 0)
            break;
        pos = nl + 1;
    }
    finish();
    return cols;
}
