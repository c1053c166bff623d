#pragma once

#include "QVNError.h"
#include "QVNProgress.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QVNDiagnostics;
class QVNTemplatePlan;
class VBEvaluator;

/**
 * @brief The template engine: expands a template text against row and column sets.
 *
 * The tag language is ordered text rewriting, and the members below implement it as the scanning
 * functions it consists of:
 *   - "<ORVE>" key "</ORVE>" variables, replaced globally and sequentially in column order
 *     (case-sensitive; a value inserted for an earlier column is searched for later keys only);
 *   - "<ORVE_" tag ">" ... "</ORVE_" tag ">" repetition blocks, one copy of the body per row;
 *   - encode, calculated, selection and fixed-length blocks, resolved after substitution in that
 *     order (an encode block writes a value safely for HTML, SQL, Python or a VBScript literal).
 * Blocks pair the first begin tag with the first end tag after it, and expansions are never
 * rescanned by the step that produced them.
 *
 * Line breaks may be CR LF or LF: every rule that tests for or removes a break accepts both, so a
 * template written with LF expands exactly like its CR LF twin.
 *
 * Progress: every operation reports a fixed English text to the listener; the listener's cancel
 * flag is bound to Canceled(). After each block, column and special block the engine runs
 * QVNEvents::DoEvents() and reports an empty text; once cancelled, every scan stops at its next
 * check and returns what it expanded so far followed by the unexpanded rest.
 *
 * Bounds: a text may not grow beyond MaxText characters, and one entry-point call may not copy
 * more than MaxWork characters in all (values that insert variables again can otherwise grow a
 * text exponentially). Over a bound the expansion stops like a cancel and Exceptions holds one
 * line naming the limit; callers must not use that result. Results below the bounds are unchanged.
 *
 * ConvertRows and ConvertCols first try the compiled expansion (QVNTemplatePlan): the template is
 * parsed once and walked with every variable resolved against the sequence of operations these
 * steps would apply, which gives the same text in one pass. It takes only templates and values for
 * which that is provably so and otherwise starts over with the steps; it reports the entry text, the
 * top set's mark text and the step texts, and checks cancel before the walk and after each row of
 * the outermost blocks. SetCompiledExpansion(false) forces the steps.
 *
 * Single-threaded. No member throws; malformed templates are left as written and expression
 * errors give the empty text. The engine reads no files: callers hand it texts.
 */
class QVNParser
{
public:
    QVNParser();
    ~QVNParser();
    QVNParser(const QVNParser&) = delete;
    QVNParser& operator=(const QVNParser&) = delete;

    static constexpr qsizetype kDefaultMaxText = qsizetype(1) << 26; // 64 Mi characters
    static constexpr qint64 kDefaultMaxWork = qint64(1) << 32;       // 4 Gi characters copied

    /// One line when the last ConvertRows/ConvertCols stopped at a bound (cleared by each of them).
    QVNError Exceptions;

    bool Canceled() const { return m_canceled; }
    /// Whether the last ConvertRows/ConvertCols stopped at a bound (its result is incomplete).
    bool OverLimit() const { return m_overLimit; }
    /// The bounds of one expansion: the largest text and the characters copied in all.
    void SetLimits(qsizetype maxText, qint64 maxWork);
    /// The Progress(Message, Cancel) event; setting cancel to true sets Canceled().
    void SetProgressListener(QVNProgressListener listener);
    /// Whether ConvertRows/ConvertCols may use the compiled expansion (on by default). Off, every
    /// call takes the rewriting steps one by one; the results are the same either way.
    void SetCompiledExpansion(bool enabled) { m_compiledEnabled = enabled; }
    /// Where the expansion reports the mistakes it meets (an expression that fails, an unknown encode
    /// form, a fixed-length width that is no number); none by default. Reporting never changes a
    /// result. The collector must outlive its use; pass nullptr to stop.
    void SetDiagnostics(QVNDiagnostics* diagnostics) { m_diagnostics = diagnostics; }
    /// Whether the last ConvertRows/ConvertCols was expanded by the compiled expansion.
    bool UsedCompiledExpansion() const { return m_usedCompiled; }

    /// Entry points: reset Canceled, apply the tag-line rule, then (when "<ORVE" occurs) variables and
    /// repetition blocks, encode blocks, calculated blocks, selection blocks and fixed-length blocks.
    QString ConvertRows(const QString& pStr_Template, const TQXRowsPtr& pRows_Data);
    QString ConvertCols(const QString& pStr_Template, const TQXColsPtr& pCols_Data);
    /// ConvertCols in two steps, for many sets that start with the same columns (a model's section
    /// variables): PrepareCols applies the tag-line rule and those leading columns, once;
    /// ConvertColsPrepared the rest of a set and the blocks. ConvertColsPrepared(PrepareCols(t, lead),
    /// rest) is ConvertCols(t, lead followed by rest) when `rest` holds none of `lead`'s keys. Each is
    /// an entry point of its own (Canceled, OverLimit and Exceptions describe that call).
    QString PrepareCols(const QString& pStr_Template, const TQXColsPtr& pCols_Leading);
    QString ConvertColsPrepared(const QString& pStr_Prepared, const TQXColsPtr& pCols_Data);

    /// Expands every repetition block named after the row set's Tag (nothing when the Tag is empty).
    QString ConvertRowsMarkData(const QString& text, const TQXRowsPtr& pRows_MarkData);
    /// Substitutes the variables of one column set in column order, descending into nested sets.
    QString ConvertColsMarkData(const QString& text, const TQXColsPtr& pCols_MarkData);
    /// Replaces every "<ORVE_ENCODE>" block by its DATA part encoded in the form its AS part names.
    QString ConvertEncodeData(const QString& text);
    QString ConvertCalcData(const QString& text);
    QString ConvertFixLengthData(const QString& text);
    QString ConvertSelectData(const QString& text);
    /// The tag-line rule: a block tag alone on its line takes the preceding line break with it.
    QString DeleteUselessEnter(const QString& text);
    /// Finds the first block: the text between the first begin tag and the first end tag after it.
    /// Positions are 1-based; both are -1 (and the result empty) when no complete block exists.
    QString GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End, int& pInt_Begin,
                            int& pInt_End);
    /// The VBScript expression's value as text (CStr); the empty text on any error.
    QString GetCalcData(const QString& expression);
    /// A nine-character hexadecimal time stamp: seconds since 1 January of this year, zero-filled.
    QString GetHEX();
    /// GetHEX for a given local time (testable).
    static QString GetHEX(const QDateTime& now);
    /// The sections of a variable file's text (the caller reads the file): one column per
    /// "[section]", in file order.
    TQXColsPtr GetTempVariable(const QString& text);

private:
    struct Impl;
    struct Compiled;
    struct Replacement
    {
        QStringView key;      // the text between "<ORVE>" and "</ORVE>"
        const QString* value; // what replaces the whole variable
    };
    struct Span
    {
        qsizetype open, close;
    };
    struct SpanCache
    {
        QString text;
        std::vector<Span> spans;
        bool alternating = false;
        std::uint64_t used = 0;
    };

    void RaiseProgress(const QString& message);
    bool CheckCanceled();
    void Start();
    bool Account(qint64 produced, qint64 size);
    void SubstituteRun(QString& text, TQXCols::iterator first, TQXCols::iterator last);
    void Substitute(QString& text, const std::vector<Replacement>& reps);
    const std::vector<Span>* SpansOf(const QString& text);
    void RememberSpans(const QString& text, std::vector<Span>&& spans);
    bool HasVariable(const QString& text);
    bool SubstituteOnce(QString& text, const std::vector<Replacement>& reps);
    QStringView SelectCase(QStringView body, bool& chosen);
    bool ConditionHolds(QStringView condition);
    QString Calculate(const QString& expression, bool condition);
    qsizetype SelectJoin(QString& result, QStringView prefix, QStringView body, QStringView suffix);
    struct KnownBlock
    {
        qsizetype begin, bodyFrom, bodyTo, end; // begin tag, body and the end of the end tag
    };
    qsizetype SelectKnownBlocks(char16_t* text, qsizetype size, const KnownBlock* blocks, size_t count);
    /// The text of one fixed-length block's body.
    QString FixLength(QStringView body);
    /// The width for data of `chars` characters, from the texts of the LENGTH and STEP parts.
    int FixLengthWidth(QStringView lengthText, QStringView stepText, qsizetype chars);
    static QString FixLengthText(QStringView data, int width, bool padRight);
    static int FixWidth(double length, double step, qsizetype chars);
    static double WholeNumber(QStringView text);
    static QStringView TrimSpaces(QStringView text);
    template <typename MarkData>
    QString ConvertAll(const QString& pStr_Template, MarkData markData, const TQXRowsPtr* rows, const TQXColsPtr* cols);
    template <typename MarkData>
    QString ConvertMarked(QString text, MarkData markData, const TQXRowsPtr* rows, const TQXColsPtr* cols);
    bool ExpandCompiled(QString& text, const TQXRowsPtr* rows, const TQXColsPtr* cols);
    std::shared_ptr<const QVNTemplatePlan> PlanOf(const QString& text);
    template <typename Join> QString ScanBlocks(const QString& text, QStringView begin, QStringView end, Join join);

    bool m_canceled = false;
    bool m_overLimit = false;
    bool m_compiledEnabled = true;
    bool m_usedCompiled = false;
    qsizetype m_lastOutput = 0; // the compiled expansion's last output size: its first guess for the next
    qsizetype m_maxText = kDefaultMaxText;
    qint64 m_maxWork = kDefaultMaxWork;
    qint64 m_work = 0;
    QVNProgressListener m_listener;
    QVNDiagnostics* m_diagnostics = nullptr;
    std::unique_ptr<VBEvaluator> m_evaluator; // created on first use; caches parsed expressions
    std::unique_ptr<Impl> m_impl;             // scratch state of the scans
};
