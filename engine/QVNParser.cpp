#include "QVNParser.h"

#include "QVNDiagnostics.h"
#include "QVNEncode.h"
#include "QVNFunction.h"
#include "QVNKeepTags.h"
#include "QVNTemplatePlan.h"
#include "VBEvaluator.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using QVNTagText::kTagClose;
using QVNTagText::kTagOpen;
using QVNTagText::kVarClose;
using QVNTagText::kVarOpen;

// Widths beyond this are clamped: a fixed-length block asking for billions of columns would
// otherwise exhaust memory instead of producing output.
constexpr double kMaxFixLength = 1 << 20;

/// The position of the next '<' at or after `from`, or -1. Eight characters are compared at once;
/// tags are often only a few dozen characters apart, so this beats calling a general search.
inline qsizetype nextLt(QStringView t, qsizetype from)
{
    const qsizetype n = t.size();
    const char16_t* d = t.utf16();
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi16(u'<');
    for (; i + 8 <= n; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(chunk, lt));
        if (mask != 0)
            return i + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == u'<')
            return i;
    }
    return -1;
}

/// 1 when a "<ORVE>" marker starts at p, 2 for "</ORVE>", 0 otherwise (p points at a '<').
inline int markerAt(const QChar* p, const QChar* end)
{
    const qsizetype left = end - p;
    if (left >= 6 && p[1] == u'O' && p[2] == u'R' && p[3] == u'V' && p[4] == u'E' && p[5] == u'>')
        return 1;
    if (left >= 7 && p[1] == u'/' && p[2] == u'O' && p[3] == u'R' && p[4] == u'V' && p[5] == u'E' && p[6] == u'>')
        return 2;
    return 0;
}

/// Whether the text holds a "<ORVE>" marker (the start of every variable).
bool hasVariable(QStringView t)
{
    const QChar* end = t.data() + t.size();
    for (qsizetype i = nextLt(t, 0); i >= 0; i = nextLt(t, i + 1)) {
        if (markerAt(t.data() + i, end) == 1)
            return true;
    }
    return false;
}

/// The first occurrence of a tag at or after `from`. Tags start with '<', which is rare enough in
/// templates that hopping from one '<' to the next beats a general substring search.
qsizetype findTag(QStringView text, qsizetype from, QStringView tag)
{
    if (tag.isEmpty() || tag.at(0) != u'<')
        return text.indexOf(tag, from);
    const qsizetype rest = tag.size() - 1;
    const QChar* data = text.data();
    const qsizetype last = text.size() - tag.size();
    const QChar second = rest > 0 ? tag.at(1) : QChar();
    for (qsizetype i = nextLt(text, from); i >= 0 && i <= last; i = nextLt(text, i + 1)) {
        if (rest == 0 || (data[i + 1] == second &&
                          std::memcmp(data + i + 1, tag.data() + 1, static_cast<size_t>(rest) * sizeof(QChar)) == 0))
            return i;
    }
    return -1;
}

/// The first block at or after `from`: the first begin tag, paired with the first end tag after it.
/// Positions are 0-based; false when the begin tag or its end tag is missing.
bool findBlock(QStringView text, qsizetype from, QStringView begin, QStringView end, qsizetype& b, qsizetype& e)
{
    b = findTag(text, from, begin);
    if (b < 0)
        return false;
    e = findTag(text, b + begin.size(), end);
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

/// The leading decimal number of a text (leading spaces skipped), rounded half to even; 0 when none.
double leadingWholeNumber(QStringView text)
{
    const double v = QVNFunction::ToNumeric(text.toString());
    return std::isfinite(v) ? std::nearbyint(v) : 0.0;
}

// Marks the column sets being substituted so a set that contains itself through nested column sets
// is not entered again: that recursion works on the same text and would never end. A repetition
// block starts a new chain (a null entry): it substitutes into a body shorter than the text, so
// recursion through row sets always ends and is left alone.
class ActiveSet
{
public:
    ActiveSet(std::vector<const TQXCols*>& active, const TQXCols* set) : m_active(active)
    {
        m_entered = true;
        for (auto it = active.rbegin(); it != active.rend() && *it; ++it) {
            if (*it == set) {
                m_entered = false;
                break;
            }
        }
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

/// A join for ScanBlocks that puts the text before the block and then `replace(body)` in its place.
template <typename Replace> auto replacing(Replace replace)
{
    return [replace](QString& result, QStringView prefix, QStringView body, QStringView) -> qsizetype {
        result.append(prefix);
        result.append(replace(body));
        return 0;
    };
}

} // namespace

struct QVNParser::Impl
{
    std::vector<const TQXCols*> activeCols;
    // Scratch space of Substitute, kept to spare allocations (Substitute does not recurse).
    std::vector<Replacement> replacements;
    std::vector<QString> scratch;
    std::vector<Span> inserted;
    std::array<SpanCache, 4> spanCache;
    std::uint64_t tick = 0;
    // Plans of the last templates expanded (a model expands the same few templates again and
    // again); a null plan marks a text the compiled expansion does not take.
    struct CachedPlan
    {
        QString text;
        std::shared_ptr<const QVNTemplatePlan> plan;
    };
    std::vector<CachedPlan> plans;
    struct Number
    {
        QString text;
        double value = 0;
        bool valid = false;
        bool bad = false; // not a whole number of 0 or more (reported for a width)
    };
    std::array<Number, 2> numbers; // FixLength's last width and step
    struct Condition
    {
        QString text; // empty: a free slot (an empty condition is never looked up)
        bool holds = false;
        bool failed = false; // evaluated to the empty text: asked again for diagnostics
    };
    std::array<Condition, 8> conditions;
    size_t nextCondition = 0;
};

QVNParser::QVNParser() : m_impl(std::make_unique<Impl>()) {}
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
    return m_canceled || m_overLimit;
}

void QVNParser::SetLimits(qsizetype maxText, qint64 maxWork)
{
    m_maxText = maxText;
    m_maxWork = maxWork;
}

void QVNParser::Start()
{
    m_canceled = false;
    m_overLimit = false;
    m_work = 0;
    Exceptions.Clear();
}

// Counts `produced` characters of work and checks the size of the text being built. Over either
// limit the expansion stops (every scan treats it like a cancel) with one line in Exceptions.
bool QVNParser::Account(qint64 produced, qint64 size)
{
    if (m_overLimit)
        return false;
    m_work += produced;
    if (size > m_maxText) {
        m_overLimit = true;
        Exceptions.Add(QStringLiteral("Template expansion stopped: the text would grow beyond %1 characters, the "
                                      "engine's limit (values that insert variables again can grow it exponentially)")
                           .arg(m_maxText));
    } else if (m_work > m_maxWork) {
        m_overLimit = true;
        Exceptions.Add(QStringLiteral("Template expansion stopped: it would copy more than %1 characters, the "
                                      "engine's limit of work for one template")
                           .arg(m_maxWork));
    }
    return !m_overLimit;
}

// The steps after the entry's progress text: the tag-line rule, then, only when a tag can occur,
// variables and repetition blocks, calculated, selection and fixed-length blocks, in that order.
template <typename MarkData>
QString QVNParser::ConvertAll(const QString& pStr_Template, MarkData markData, const TQXRowsPtr* rows,
                              const TQXColsPtr* cols)
{
    return ConvertMarked(DeleteUselessEnter(pStr_Template), markData, rows, cols);
}

// The steps after the tag-line rule. A prepared text (tag-line rule and leading columns applied)
// goes through the same test: it holds "<ORVE" whenever the text it came from did, unless the
// leading columns removed every tag, and then the steps below change nothing either.
template <typename MarkData>
QString QVNParser::ConvertMarked(QString text, MarkData markData, const TQXRowsPtr* rows, const TQXColsPtr* cols)
{
    m_usedCompiled = false;
    if (text.contains(u"<ORVE")) {
        if (m_compiledEnabled && ExpandCompiled(text, rows, cols)) {
            m_usedCompiled = true;
        } else {
            text = markData(text);
            for (auto step : {&QVNParser::ConvertEncodeData, &QVNParser::ConvertCalcData, &QVNParser::ConvertSelectData,
                              &QVNParser::ConvertFixLengthData}) {
                if (m_overLimit)
                    break;
                text = (this->*step)(text);
            }
        }
        // The user's regions are marked last, so nothing above can take their tags for a block.
        if (!m_overLimit && !m_canceled)
            text = QVNKeepTags::Apply(text);
    }
    return text;
}

QString QVNParser::ConvertRows(const QString& pStr_Template, const TQXRowsPtr& pRows_Data)
{
    Start();
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Rows (") + (pRows_Data ? pRows_Data->Tag() : QString()) + u')');
    return ConvertAll(
        pStr_Template, [&](const QString& text) { return ConvertRowsMarkData(text, pRows_Data); }, &pRows_Data,
        nullptr);
}

QString QVNParser::ConvertCols(const QString& pStr_Template, const TQXColsPtr& pCols_Data)
{
    Start();
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Cols (") + (pCols_Data ? pCols_Data->Tag() : QString()) + u')');
    return ConvertAll(
        pStr_Template, [&](const QString& text) { return ConvertColsMarkData(text, pCols_Data); }, nullptr,
        &pCols_Data);
}

std::shared_ptr<const QVNTemplatePlan> QVNParser::PlanOf(const QString& text)
{
    std::vector<Impl::CachedPlan>& plans = m_impl->plans;
    for (auto it = plans.begin(); it != plans.end(); ++it) {
        if (it->text == text) {
            std::rotate(plans.begin(), it, it + 1); // most recent first
            return plans.front().plan;
        }
    }
    constexpr size_t kPlans = 8;
    if (plans.size() == kPlans)
        plans.pop_back();
    plans.insert(plans.begin(), Impl::CachedPlan{text, QVNTemplatePlan::Compile(text)});
    return plans.front().plan;
}

QString QVNParser::PrepareCols(const QString& pStr_Template, const TQXColsPtr& pCols_Leading)
{
    Start();
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Cols (") + (pCols_Leading ? pCols_Leading->Tag() : QString()) + u')');
    QString text = DeleteUselessEnter(pStr_Template);
    if (text.contains(u"<ORVE"))
        text = ConvertColsMarkData(text, pCols_Leading);
    return text;
}

QString QVNParser::ConvertColsPrepared(const QString& pStr_Prepared, const TQXColsPtr& pCols_Data)
{
    Start();
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Cols (") + (pCols_Data ? pCols_Data->Tag() : QString()) + u')');
    return ConvertMarked(
        pStr_Prepared, [&](const QString& text) { return ConvertColsMarkData(text, pCols_Data); }, nullptr,
        &pCols_Data);
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
    const QString indexKey = QStringLiteral("ORVE_") + tag + QStringLiteral("_ROW_INDEX");
    const QString countKey = QStringLiteral("ORVE_") + tag + QStringLiteral("_ROW_COUNT");
    const QString keyKey = QStringLiteral("ORVE_") + tag + QStringLiteral("_ROW_KEY");
    const QString count = QString::number(pRows_MarkData->Count());
    ActiveSet chain(m_impl->activeCols, nullptr); // a new chain for the rows' column sets

    QString result;
    result.reserve(text.size() * 2);
    qsizetype pos = 0;
    do {
        // A cancel seen before a block leaves it unexpanded; one seen inside a row ends the
        // repetition after that row: the rest would only be expanded to be thrown away.
        if (m_canceled)
            break;
        const QString body = view.mid(b + begin.size(), e - b - begin.size()).toString();
        result.append(view.mid(pos, b - pos));
        int counter = 0;
        for (const TQXRowPtr& row : *pRows_MarkData) {
            if (m_overLimit || m_canceled)
                break;
            ++counter;
            QString piece = ConvertColsMarkData(body, row->Cols());
            if (findTag(piece, 0, rowPrefix) >= 0) {
                // The row index, then the row count, then the row key, as three ordered replacements.
                const QString index = QString::number(counter);
                const QString key = row->Key();
                const std::vector<Replacement> placeholders = {{indexKey, &index}, {countKey, &count}, {keyKey, &key}};
                Substitute(piece, placeholders);
            }
            // Encode and selection blocks inside a repetition are decided per row once no variable
            // is left.
            if (!HasVariable(piece)) {
                piece = ConvertEncodeData(piece);
                piece = ConvertSelectData(piece);
            }
            if (!Account(body.size() + piece.size(), result.size() + piece.size()))
                break;
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
    ActiveSet guard(m_impl->activeCols, pCols_MarkData.get());
    if (!guard.entered())
        return text;

    QString out = text;
    auto it = pCols_MarkData->begin();
    const auto last = pCols_MarkData->end();
    while (it != last && !m_overLimit) {
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

void QVNParser::SubstituteRun(QString& text, TQXCols::iterator first, TQXCols::iterator last)
{
    if (first == last || !HasVariable(text))
        return; // every variable starts with "<ORVE>": nothing can match
    std::vector<Replacement>& reps = m_impl->replacements;
    std::vector<QString>& scratch = m_impl->scratch;
    reps.clear();
    scratch.clear();
    qsizetype n = 0;
    for (auto it = first; it != last; ++it)
        ++n;
    scratch.reserve(static_cast<size_t>(n)); // stable addresses for the texts made here
    for (auto it = first; it != last; ++it) {
        const TQXCol& col = **it;
        const TQXValue& v = col.Value();
        const QString* value = v.textPtr();
        if (!value) {
            scratch.push_back(v.ToText());
            value = &scratch.back();
        }
        reps.push_back(Replacement{QStringView(col.Key()), value});
    }
    Substitute(text, reps);
}

/**
 * The variable spans of a text ("<ORVE>" key "</ORVE>"), or nullptr when its markers do not
 * strictly alternate. A repetition block substitutes the same body once per row, so the spans of
 * the last few texts are kept; an entry holds a reference to its text, whose buffer therefore
 * stays alive and unchanged (a QString detaches before it is modified), which makes the buffer's
 * address and length a sound identity.
 */
const std::vector<QVNParser::Span>* QVNParser::SpansOf(const QString& text)
{
    Impl& impl = *m_impl;
    ++impl.tick;
    for (SpanCache& entry : impl.spanCache) {
        if (entry.text.constData() == text.constData() && entry.text.size() == text.size() && !text.isNull()) {
            entry.used = impl.tick;
            return entry.alternating ? &entry.spans : nullptr;
        }
    }
    SpanCache* slot = &impl.spanCache[0];
    for (SpanCache& entry : impl.spanCache) {
        if (entry.used < slot->used)
            slot = &entry;
    }
    slot->text = text;
    slot->used = impl.tick;
    slot->spans.clear();
    slot->alternating = false;
    const QStringView t(text);
    const QChar* end = t.data() + t.size();
    qsizetype open = -1;
    for (qsizetype i = nextLt(t, 0); i >= 0; i = nextLt(t, i + 1)) {
        const int marker = markerAt(t.data() + i, end);
        if (marker == 1) {
            if (open >= 0)
                return nullptr; // two open markers in a row
            open = i;
            i += kVarOpen.size() - 1;
        } else if (marker == 2) {
            if (open < 0)
                return nullptr; // a close marker without an open one
            slot->spans.push_back(Span{open, i});
            open = -1;
            i += kVarClose.size() - 1;
        }
    }
    if (open >= 0)
        return nullptr;
    slot->alternating = true;
    return &slot->spans;
}

/// Remembers the spans of a text produced by a substitution, so the next step need not scan it.
void QVNParser::RememberSpans(const QString& text, std::vector<Span>&& spans)
{
    Impl& impl = *m_impl;
    SpanCache* slot = &impl.spanCache[0];
    for (SpanCache& entry : impl.spanCache) {
        if (entry.used < slot->used)
            slot = &entry;
    }
    slot->text = text;
    slot->used = ++impl.tick;
    slot->spans = std::move(spans);
    slot->alternating = true;
}

bool QVNParser::HasVariable(const QString& text)
{
    if (const std::vector<Span>* spans = SpansOf(text))
        return !spans->empty(); // alternating markers: an open marker is the start of a span
    return hasVariable(text);
}

/**
 * Replaces every "<ORVE>" key "</ORVE>" of the list in `text`, with the result of replacing the
 * entries one after another in list order. When the order provably cannot matter the text is
 * scanned once:
 *   - the variable markers of the text alternate ("<ORVE>" then "</ORVE>"), so every candidate is a
 *     disjoint span whose key holds neither marker;
 *   - no key of the list holds a marker, so a key can only match such a span;
 *   - no inserted value holds "<" or ">", and no marker forms across an inserted value and its
 *     neighbours (checked on the result), so no value creates a new match for a later entry.
 * Under these conditions every entry replaces exactly the spans that hold its key in the original
 * text, the first entry of a key winning, which is what the single scan does. Otherwise the
 * entries are replaced one by one in order.
 */
void QVNParser::Substitute(QString& text, const std::vector<Replacement>& reps)
{
    if (reps.empty())
        return;
    if (SubstituteOnce(text, reps))
        return;
    QString tag;
    for (const Replacement& r : reps) {
        tag.clear();
        tag.append(kVarOpen).append(r.key).append(kVarClose);
        const qsizetype n = text.count(tag);
        if (n == 0)
            continue;
        // The size is known before replacing, so a text over the limit is never built.
        const qint64 size = text.size() + qint64(n) * (r.value->size() - tag.size());
        if (!Account(size, size))
            return;
        text.replace(tag, *r.value);
    }
}

bool QVNParser::SubstituteOnce(QString& text, const std::vector<Replacement>& reps)
{
    for (const Replacement& r : reps) {
        if (nextLt(r.key, 0) >= 0 && (r.key.contains(kVarOpen) || r.key.contains(kVarClose)))
            return false;
    }
    const std::vector<Span>* found = SpansOf(text);
    if (!found)
        return false;
    if (found->empty())
        return true;
    const std::vector<Span>& spans = *found;
    const QStringView t(text);

    const bool useIndex = reps.size() > 32;
    QHash<QStringView, const QString*> index;
    if (useIndex) {
        index.reserve(static_cast<qsizetype>(reps.size()));
        for (const Replacement& r : reps) {
            if (!index.contains(r.key))
                index.insert(r.key, r.value);
        }
    }
    auto lookup = [&](QStringView key) -> const QString* {
        if (useIndex)
            return index.value(key, nullptr);
        for (const Replacement& r : reps) {
            if (r.key.size() == key.size() && r.key == key)
                return r.value;
        }
        return nullptr;
    };

    QString out;
    std::vector<Span>& inserted = m_impl->inserted;
    inserted.clear();
    std::vector<Span> remaining; // the spans left in the result, for the next step
    qsizetype pos = 0;
    qsizetype shift = 0;
    for (const Span& span : spans) {
        const qsizetype keyStart = span.open + kVarOpen.size();
        const QString* value = lookup(t.mid(keyStart, span.close - keyStart));
        if (!value) {
            remaining.push_back(Span{span.open + shift, span.close + shift});
            continue;
        }
        for (const QChar c : *value) {
            if (c == u'<' || c == u'>')
                return false;
        }
        if (out.isNull())
            out.reserve(text.size() + text.size() / 2);
        out.append(t.mid(pos, span.open - pos));
        const qsizetype from = out.size();
        out.append(*value);
        if (out.size() > m_maxText && !Account(0, out.size()))
            return true; // over the limit: the text stays as it was, and the expansion stops
        if (value->size() <= 5)
            inserted.push_back(Span{from, out.size()});
        pos = span.close + kVarClose.size();
        shift = out.size() - pos;
    }
    if (pos == 0)
        return true; // no span matched a key: the text stays as it is
    out.append(t.mid(pos));

    // A marker containing an inserted value (only short values fit inside one) would be new. Such a
    // marker starts with a '<' of the text just before the value, since values hold no '<'.
    const QStringView o(out);
    for (const Span& ins : inserted) {
        for (qsizetype m = std::max<qsizetype>(0, ins.open - kVarClose.size() + 1); m < ins.open; ++m) {
            if (o.at(m) != u'<')
                continue;
            const int marker = markerAt(o.data() + m, o.data() + o.size());
            if ((marker == 1 && m + kVarOpen.size() > ins.open) || (marker == 2 && m + kVarClose.size() > ins.open))
                return false;
        }
    }
    Account(out.size(), out.size());
    text = std::move(out);
    RememberSpans(text, std::move(remaining));
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

// Encode blocks: the DATA part written in the form named by the AS part. The AS part is looked for
// outside the DATA part, so a value that happens to hold an AS part cannot choose its own form. A
// block whose form is unknown stays as written. A text without encode blocks is passed through
// without a progress report, so templates that use none report exactly the steps they always did.
QString QVNParser::ConvertEncodeData(const QString& text)
{
    constexpr QStringView begin = u"<ORVE_ENCODE>";
    if (findTag(text, 0, begin) < 0)
        return text;
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Encode Data"));
    constexpr QStringView end = u"</ORVE_ENCODE>";
    constexpr QStringView dataBegin = u"<ORVE_DATA>";
    constexpr QStringView dataEnd = u"</ORVE_DATA>";
    return ScanBlocks(text, begin, end, [&](QString& result, QStringView prefix, QStringView body, QStringView) {
        result.append(prefix);
        qsizetype b = -1, e = -1;
        QStringView data;
        QStringView outside = body; // where the AS part is looked for
        QStringView afterData;
        if (findBlock(body, 0, dataBegin, dataEnd, b, e)) {
            data = body.mid(b + dataBegin.size(), e - b - dataBegin.size());
            outside = body.left(b);
            afterData = body.mid(e + dataEnd.size());
        }
        bool found = false;
        QStringView form = blockPart(outside, u"<ORVE_AS>", u"</ORVE_AS>", &found);
        if (!found && !afterData.isNull())
            form = blockPart(afterData, u"<ORVE_AS>", u"</ORVE_AS>", &found);
        QString encoded;
        if (found && QVNEncode::Encode(form, data, encoded)) {
            result.append(encoded);
        } else {
            // A form that still holds a tag is decided later, or left for the output check.
            if (m_diagnostics && !form.contains(u"<ORVE"))
                m_diagnostics->UnknownEncodeForm(form, !found);
            result.append(begin);
            result.append(body);
            result.append(end);
        }
        return qsizetype(0);
    });
}

QString QVNParser::ConvertCalcData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert Calc Data"));
    return ScanBlocks(text, u"<ORVE_CALC>", u"</ORVE_CALC>",
                      replacing([this](QStringView body) { return GetCalcData(body.toString()); }));
}

QString QVNParser::ConvertFixLengthData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert FixLength Data"));
    return ScanBlocks(text, u"<ORVE_FIXLENGTH>", u"</ORVE_FIXLENGTH>",
                      replacing([this](QStringView body) { return FixLength(body); }));
}

QString QVNParser::FixLength(QStringView body)
{
    const QStringView data = QVNFunction::TrimSpaces(blockPart(body, u"<ORVE_DATA>", u"</ORVE_DATA>"));
    const int width = FixLengthWidth(blockPart(body, u"<ORVE_LENGTH>", u"</ORVE_LENGTH>"),
                                     blockPart(body, u"<ORVE_STEP>", u"</ORVE_STEP>"), data.size());
    return FixLengthText(data, width, blockPart(body, u"<ORVE_PADRIGHT>", u"</ORVE_PADRIGHT>") != u"2");
}

int QVNParser::FixLengthWidth(QStringView lengthText, QStringView stepText, qsizetype chars)
{
    // The width and step are nearly always the same few texts: their numbers are remembered.
    auto number = [this](QStringView text, int slot) -> const Impl::Number& {
        Impl::Number& last = m_impl->numbers[static_cast<size_t>(slot)];
        if (!last.valid || last.text != text) {
            last.text = text.toString();
            last.value = leadingWholeNumber(text);
            last.valid = true;
            // A tag still in the text is decided later, or left for the output check.
            const QStringView t = QVNFunction::TrimSpaces(text);
            last.bad = (t.isEmpty() || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); })) &&
                       !t.contains(u"<ORVE");
        }
        return last;
    };
    const Impl::Number& width = number(lengthText, 0);
    if (width.bad && m_diagnostics)
        m_diagnostics->BadFixWidth(lengthText);
    return FixWidth(width.value, number(stepText, 1).value, chars);
}

int QVNParser::FixWidth(double length, double step, qsizetype chars)
{
    const double size = static_cast<double>(chars);
    if (step > 0 && size > length)
        length += std::ceil((size - length) / step) * step; // grow by whole steps until it fits
    length = std::clamp(length, -kMaxFixLength, kMaxFixLength);
    return static_cast<int>(length);
}

double QVNParser::WholeNumber(QStringView text)
{
    return leadingWholeNumber(text);
}

QString QVNParser::FixLengthText(QStringView data, int width, bool padRight)
{
    return QVNFunction::StrFixLength(data, width, QStringLiteral(" "), padRight);
}

QStringView QVNParser::TrimSpaces(QStringView text)
{
    return QVNFunction::TrimSpaces(text);
}

// Selection blocks: the data of the first case whose condition does not evaluate to "False". A
// block that selects nothing and stands alone on its line(s) removes that line with it.
QString QVNParser::ConvertSelectData(const QString& text)
{
    if (m_listener)
        RaiseProgress(QStringLiteral("Convert SelectData"));
    return ScanBlocks(text, u"<ORVE_SELECT>", u"</ORVE_SELECT>",
                      [this](QString& result, QStringView prefix, QStringView body, QStringView suffix) {
                          return SelectJoin(result, prefix, body, suffix);
                      });
}

qsizetype QVNParser::SelectJoin(QString& result, QStringView prefix, QStringView body, QStringView suffix)
{
    bool chosen = false;
    const QStringView data = SelectCase(body, chosen);
    const QStringView prefixTrimmed = trimSpacesRight(prefix);
    const QStringView suffixTrimmed = trimSpacesLeft(suffix);
    const qsizetype brk = breakAtStart(suffixTrimmed);
    if (!chosen && breakAtEnd(prefixTrimmed) > 0 && brk > 0) {
        result.append(prefixTrimmed);
        return suffix.size() - suffixTrimmed.size() + brk;
    }
    result.append(prefix);
    result.append(data);
    return 0;
}

// ConvertSelectData over a text whose selection blocks are already known (positions in order), as
// the compiled expansion has them: the same joins without searching for the tags, written over the
// text itself (the result never outgrows what it has read). Returns the new size.
qsizetype QVNParser::SelectKnownBlocks(char16_t* text, qsizetype size, const KnownBlock* blocks, size_t count)
{
    const QStringView view(text, size);
    qsizetype w = 0;
    auto put = [&](QStringView part) {
        if (part.isEmpty())
            return; // an empty view may have no data at all, which memmove must not be given
        std::memmove(text + w, part.utf16(), static_cast<size_t>(part.size()) * sizeof(char16_t));
        w += part.size();
    };
    qsizetype pos = 0;
    for (size_t k = 0; k < count; ++k) {
        const KnownBlock& b = blocks[k];
        const qsizetype from = pos;
        const qsizetype before = w;
        const QStringView prefix = view.mid(pos, b.begin - pos);
        bool chosen = false;
        const QStringView data = SelectCase(view.mid(b.bodyFrom, b.bodyTo - b.bodyFrom), chosen);
        const QStringView suffix = view.mid(b.end);
        const QStringView prefixTrimmed = trimSpacesRight(prefix);
        const QStringView suffixTrimmed = trimSpacesLeft(suffix);
        const qsizetype brk = breakAtStart(suffixTrimmed);
        pos = b.end;
        if (!chosen && breakAtEnd(prefixTrimmed) > 0 && brk > 0) {
            put(prefixTrimmed);
            pos += suffix.size() - suffixTrimmed.size() + brk;
        } else {
            put(prefix);
            put(data);
        }
        Account((pos - from) + (w - before), w + (size - pos));
    }
    put(view.mid(pos));
    return w;
}

/// Decides one selection body: cases pair up by order of appearance, a case with an empty condition
/// ends the list, and an ELSEDATA part after the last CASEDATA part acts as an always-true case.
QStringView QVNParser::SelectCase(QStringView body, bool& chosen)
{
    static constexpr QStringView caseBegin = u"<ORVE_CASE>", caseEnd = u"</ORVE_CASE>";
    static constexpr QStringView dataBegin = u"<ORVE_CASEDATA>", dataEnd = u"</ORVE_CASEDATA>";
    static constexpr QStringView elseBegin = u"<ORVE_ELSEDATA>", elseEnd = u"</ORVE_ELSEDATA>";
    chosen = false;
    QStringView w = body;
    while (true) {
        const QStringView condition = blockPart(w, caseBegin, caseEnd);
        bool dataFound = false;
        qsizetype after = 0;
        const QStringView data = blockPart(w, dataBegin, dataEnd, &dataFound, &after);
        if (condition.isEmpty() || !dataFound)
            break;
        if (ConditionHolds(QVNFunction::TrimSpaces(condition))) {
            chosen = true;
            return data;
        }
        w = w.mid(after);
    }
    const QStringView elseData = blockPart(w, elseBegin, elseEnd);
    if (!elseData.isEmpty()) {
        // The else part is the case "1" = "1", which is always true.
        chosen = true;
        return elseData;
    }
    return QStringView();
}

/**
 * The common scan of the special blocks: left to right, each block's replacement joined to the text
 * before it, never rescanned, CheckCanceled after every block. `join(result, prefix, body, suffix)`
 * appends the prefix and the replacement and returns how many characters of the suffix it took
 * along (the selection block may take its emptied line's break).
 */
template <typename Join>
QString QVNParser::ScanBlocks(const QString& text, QStringView begin, QStringView end, Join join)
{
    const QStringView view(text);
    qsizetype b = -1, e = -1;
    if (!findBlock(view, 0, begin, end, b, e))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    do {
        const QStringView prefix = view.mid(pos, b - pos);
        const qsizetype from = pos;
        const qsizetype before = result.size();
        pos = e + end.size();
        pos += join(result, prefix, view.mid(b + begin.size(), e - b - begin.size()), view.mid(pos));
        Account((pos - from) + (result.size() - before), result.size() + (view.size() - pos));
        if (CheckCanceled())
            break;
    } while (findBlock(view, pos, begin, end, b, e));
    result.append(view.mid(pos));
    return result;
}

// A condition holds unless it evaluates to "False". Conditions that call no function always give
// the same result, and a template repeats few of them row after row: the last ones are remembered.
bool QVNParser::ConditionHolds(QStringView condition)
{
    if (condition.isEmpty())
        return Calculate(QString(), true) != u"False";
    for (const Impl::Condition& c : m_impl->conditions) {
        if (c.text.size() == condition.size() &&
            std::memcmp(c.text.constData(), condition.data(), static_cast<size_t>(condition.size()) * sizeof(QChar)) ==
                0) {
            // A failing condition is reported in every template that has it.
            if (c.failed && m_diagnostics)
                Calculate(c.text, true);
            return c.holds;
        }
    }
    const QString text = condition.toString();
    const QString value = Calculate(text, true);
    const bool holds = value != u"False";
    if (m_evaluator->IsConstant(text)) {
        Impl::Condition& slot = m_impl->conditions[m_impl->nextCondition];
        m_impl->nextCondition = (m_impl->nextCondition + 1) % m_impl->conditions.size();
        slot.text = text;
        slot.holds = holds;
        slot.failed = value.isEmpty();
    }
    return holds;
}

QString QVNParser::GetCalcData(const QString& expression)
{
    return Calculate(expression, false);
}

QString QVNParser::Calculate(const QString& expression, bool condition)
{
    if (!m_evaluator)
        m_evaluator = std::make_unique<VBEvaluator>();
    QString text = m_evaluator->EvaluateToText(expression);
    // Every failure gives the empty text; only then is it worth asking why. Tags still in the
    // expression are reported by the output check instead.
    if (m_diagnostics && text.isEmpty() && !expression.trimmed().isEmpty() && !expression.contains(u"<ORVE")) {
        if (const int number = m_evaluator->ErrorNumber(expression))
            m_diagnostics->ExpressionFailed(expression, condition, number, QVNDiagnostics::ErrorText(number));
    }
    return text;
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

// The variable-file rules: a line that is "[name]" (spaces around it allowed) starts a section;
// the section's value is its lines as read, joined by the text's own line break, without the final
// break, with the tag-line rule applied. Lines before the first header are ignored.
TQXColsPtr QVNParser::GetTempVariable(const QString& text)
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
        const QStringView trimmed = QVNFunction::TrimSpaces(line);
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
