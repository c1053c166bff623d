#include "VBEvaluator.h"

#include "VBFunctions.h"
#include "VBOperators.h"
#include "VBParser.h"

#include <exception>

const VBNode* VBEvaluator::Parsed(const QString& expression)
{
    const auto found = m_cache.constFind(expression);
    if (found != m_cache.constEnd())
        return found->get();
    if (m_cache.size() >= kCacheLimit)
        m_cache.clear();
    std::shared_ptr<const VBNode> tree(VBParser::Parse(expression).release());
    const VBNode* node = tree.get();
    m_cache.insert(expression, std::move(tree));
    return node;
}

VBValue VBEvaluator::Eval(const VBNode& node)
{
    switch (node.kind) {
    case VBNode::Kind::Literal:
        return node.value;
    case VBNode::Kind::Unary:
        return VBOperators::Unary(node.op, Eval(*node.children[0]));
    case VBNode::Kind::Binary: {
        // Both operands are always evaluated, left first: the language does not short-circuit.
        const VBValue left = Eval(*node.children[0]);
        const VBValue right = Eval(*node.children[1]);
        return VBOperators::Binary(node.op, left, right);
    }
    case VBNode::Kind::Call: {
        std::vector<VBValue> args;
        args.reserve(node.children.size());
        for (const auto& child : node.children) {
            args.push_back(Eval(*child));
            args.back().hard = false; // an argument is a Variant inside the function
        }
        VBValue result = node.function->call(args);
        result.hard = false;
        return result;
    }
    }
    throw VBError(VBError::TypeMismatch);
}

bool VBEvaluator::Evaluate(const QString& expression, VBValue& value)
{
    try {
        const VBNode* tree = Parsed(expression);
        if (!tree)
            return false;
        value = Eval(*tree);
        return true;
    } catch (const std::exception&) {
        return false; // VBError, or the allocator giving up on a huge text
    } catch (...) {
        return false;
    }
}

int VBEvaluator::ErrorNumber(const QString& expression)
{
    try {
        const VBNode* tree = Parsed(expression);
        if (!tree)
            return 1002;
        const VBValue value = Eval(*tree);
        (void)value.ToTextOrEmpty();
        return 0;
    } catch (const VBError& e) {
        return e.number();
    } catch (...) {
        return VBError::OutOfMemory;
    }
}

QString VBEvaluator::EvaluateToText(const QString& expression)
{
    const auto known = m_constant.constFind(expression);
    if (known != m_constant.constEnd())
        return *known;
    VBValue value;
    QString text;
    if (Evaluate(expression, value)) {
        try {
            text = value.ToTextOrEmpty(); // a Null result cannot become text: the empty text
        } catch (...) {
            text.clear();
        }
    }
    try {
        const VBNode* tree = Parsed(expression);
        if (tree && !CallsAFunction(*tree)) {
            if (m_constant.size() >= kCacheLimit)
                m_constant.clear();
            m_constant.insert(expression, text);
        }
    } catch (...) {
        // Not remembered; the next evaluation computes it again.
    }
    return text;
}

bool VBEvaluator::CallsAFunction(const VBNode& node)
{
    if (node.kind == VBNode::Kind::Call)
        return true;
    for (const auto& child : node.children) {
        if (CallsAFunction(*child))
            return true;
    }
    return false;
}
