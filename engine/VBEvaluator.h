#pragma once

#include "VBNode.h"
#include "VBValue.h"

#include <QHash>
#include <QString>

#include <memory>

/**
 * @brief Evaluates VBScript expressions and turns their values into text as CStr does.
 *
 * Each expression text is parsed once; the tree (or the fact that the text does not parse) is
 * cached by its text, so a selection condition repeated over thousands of rows is parsed a single
 * time. The cache is bounded and is simply emptied when it grows past its limit. An expression that
 * calls no function always gives the same text, which is kept beside its tree.
 *
 * Any parse or run-time error (Type mismatch, Overflow, Division by zero, Invalid use of Null, ...)
 * yields the empty text; no exception leaves this class. Evaluation reaches no files, processes or
 * network. Single-threaded.
 */
class VBEvaluator
{
public:
    /// The expression's value as text; the empty text on any error (a Null result too).
    QString EvaluateToText(const QString& expression);
    /// The expression's value; false (and `value` untouched) on any error.
    bool Evaluate(const QString& expression, VBValue& value);
    /// The error number of an expression that fails (1002 when it does not parse), 0 when it gives
    /// a value. For diagnostics only: the expression is evaluated again.
    int ErrorNumber(const QString& expression);
    /// Whether EvaluateToText has found that the expression calls no function (its text never changes).
    bool IsConstant(const QString& expression) const { return m_constant.contains(expression); }

private:
    const VBNode* Parsed(const QString& expression);
    static VBValue Eval(const VBNode& node);
    static bool CallsAFunction(const VBNode& node);

    static constexpr qsizetype kCacheLimit = 20000;
    QHash<QString, std::shared_ptr<const VBNode>> m_cache;
    QHash<QString, QString> m_constant; // the texts of expressions that call no function
};
