#pragma once

#include "VBValue.h"

#include <memory>
#include <vector>

/// The operators of the expression language.
enum class VBOp {
    Add,
    Sub,
    Mul,
    Div,
    IntDiv,
    Mod,
    Pow,
    Concat,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Is,
    And,
    Or,
    Xor,
    Eqv,
    Imp,
    Neg,
    Plus,
    Not
};

struct VBFunction;

/// One node of a parsed expression. Nodes are immutable once parsed and shared by the cache.
struct VBNode
{
    enum class Kind {
        Literal, ///< a literal, a constant, or an undeclared variable (Empty)
        Call,    ///< a built-in function with its arguments in `children`
        Unary,   ///< `op` applied to children[0]
        Binary   ///< `op` applied to children[0] and children[1]
    };

    Kind kind = Kind::Literal;
    VBOp op = VBOp::Add;
    VBValue value;
    const VBFunction* function = nullptr;
    std::vector<std::unique_ptr<VBNode>> children;
    int depth = 1; ///< height of the tree below this node, bounded by the parser
};
