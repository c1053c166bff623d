#pragma once

#include "VBLexer.h"
#include "VBNode.h"

#include <QStringView>

#include <memory>

/**
 * @brief Parses one VBScript expression into a tree.
 *
 * Grammar, lowest precedence first (all binary operators associate to the left):
 *
 *   expr     := imp
 *   imp      := eqv  { "Imp" eqv }
 *   eqv      := xor  { "Eqv" xor }
 *   xor      := or   { "Xor" or }
 *   or       := and  { "Or" and }
 *   and      := not  { "And" not }
 *   not      := "Not" not | compare
 *   compare  := concat { ("=" | "<>" | "<" | ">" | "<=" | ">=" | "Is") concat }
 *   concat   := add  { "&" add }
 *   add      := mod  { ("+" | "-") mod }
 *   mod      := idiv { "Mod" idiv }
 *   idiv     := mul  { "\" mul }
 *   mul      := unary { ("*" | "/") unary }
 *   unary    := ("-" | "+") unary | power
 *   power    := primary { "^" operand }      operand := ("-" | "+") operand | primary
 *   primary  := literal | "(" expr ")" | name [ "(" [ expr { "," expr } ] ")" ] | "Not" not
 *
 * Decisions:
 *   - Exponentiation binds tighter than negation, so -2^2 is -4; its right operand may carry its
 *     own sign (2^-1 is 0.5).
 *   - "Not" may also start an operand (1 + Not 0), then taking the rest of the comparison with it.
 *   - Names are resolved while parsing: True, False, Empty, Null, Nothing and the vb... constants
 *     become literals, built-in function names (without regard to case) become calls checked for
 *     their number of arguments, and any other name is an undeclared variable, which reads as
 *     Empty. A variable followed by parentheses, a constant with parentheses, a member access
 *     (".") and a statement keyword are errors.
 *   - Blank lines before and after the expression are allowed; a line break inside it is not.
 *   - The tree is at most kMaxDepth levels high and parentheses, arguments and unary operators
 *     nest at most kMaxNesting deep, so neither parsing nor evaluating can exhaust the stack.
 */
class VBParser
{
public:
    static constexpr int kMaxDepth = 400;
    static constexpr int kMaxNesting = 64;

    /// The tree of the expression, or nullptr when it is not a valid expression.
    static std::unique_ptr<VBNode> Parse(QStringView text);

private:
    explicit VBParser(QStringView text) : m_lexer(text) { Advance(); }

    void Advance() { m_token = m_lexer.Next(); }
    bool IsOperator(const char* op) const;
    std::unique_ptr<VBNode> Binary(VBOp op, std::unique_ptr<VBNode> left, std::unique_ptr<VBNode> right);
    std::unique_ptr<VBNode> Unary(VBOp op, std::unique_ptr<VBNode> operand);

    std::unique_ptr<VBNode> Expr();
    std::unique_ptr<VBNode> Chain(int level);
    std::unique_ptr<VBNode> NotLevel();
    std::unique_ptr<VBNode> Compare();
    std::unique_ptr<VBNode> UnaryLevel();
    std::unique_ptr<VBNode> Power();
    std::unique_ptr<VBNode> Signed(std::unique_ptr<VBNode> (VBParser::*operand)());
    std::unique_ptr<VBNode> Primary();
    std::unique_ptr<VBNode> Name(const QString& name);

    VBLexer m_lexer;
    VBToken m_token;
    int m_nesting = 0;
};
