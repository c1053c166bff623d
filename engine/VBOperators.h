#pragma once

#include "VBNode.h"
#include "VBValue.h"

/**
 * @brief The operators of the expression language with VBScript's Variant rules.
 *
 * Arithmetic keeps the narrowest subtype that holds the result and widens on overflow (Byte to
 * Integer to Long to Double); text operands are read as numbers (a Type mismatch when they are
 * not); Null propagates; Empty counts as 0 or "". "+" joins two texts. Comparison of two texts is
 * binary (by character code). Errors are thrown as VBError.
 */
class VBOperators
{
public:
    static VBValue Binary(VBOp op, const VBValue& a, const VBValue& b);
    static VBValue Unary(VBOp op, const VBValue& a);
    /// -1, 0 or 1 for a comparison; false in `isNull` cases where the result is Null.
    static int Compare(const VBValue& a, const VBValue& b, bool& isNull);

private:
    static VBValue Add(const VBValue& a, const VBValue& b);
    static VBValue Arith(VBOp op, const VBValue& a, const VBValue& b);
    static VBValue Divide(const VBValue& a, const VBValue& b);
    static VBValue IntegerOp(VBOp op, const VBValue& a, const VBValue& b);
    static VBValue Power(const VBValue& a, const VBValue& b);
    static VBValue Concat(const VBValue& a, const VBValue& b);
    static VBValue Logical(VBOp op, const VBValue& a, const VBValue& b);
    static VBValue Comparison(VBOp op, const VBValue& a, const VBValue& b);
    static VBValue Is(const VBValue& a, const VBValue& b);
    static VBValue Negate(const VBValue& a);
    static VBValue Not(const VBValue& a);
};
