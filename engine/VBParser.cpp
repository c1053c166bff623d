#include "VBParser.h"

#include "VBFunctions.h"
#include "VBOperators.h"

#include <QHash>

#include <array>
#include <initializer_list>

namespace {

struct ParseFailure
{
};

enum Level {
    LevelImp,
    LevelEqv,
    LevelXor,
    LevelOr,
    LevelAnd,
    LevelNot,
    LevelCompare,
    LevelConcat,
    LevelAdd,
    LevelMod,
    LevelIntDiv,
    LevelMul,
    LevelUnary
};

struct LevelOp
{
    const char* text;
    VBOp op;
};

const std::vector<LevelOp>& levelOps(int level)
{
    static const std::array<std::vector<LevelOp>, LevelUnary> table = {{
        {{"Imp", VBOp::Imp}},
        {{"Eqv", VBOp::Eqv}},
        {{"Xor", VBOp::Xor}},
        {{"Or", VBOp::Or}},
        {{"And", VBOp::And}},
        {},
        {{"=", VBOp::Eq},
         {"<>", VBOp::Ne},
         {"<", VBOp::Lt},
         {">", VBOp::Gt},
         {"<=", VBOp::Le},
         {">=", VBOp::Ge},
         {"Is", VBOp::Is}},
        {{"&", VBOp::Concat}},
        {{"+", VBOp::Add}, {"-", VBOp::Sub}},
        {{"Mod", VBOp::Mod}},
        {{"\\", VBOp::IntDiv}},
        {{"*", VBOp::Mul}, {"/", VBOp::Div}},
    }};
    return table[static_cast<size_t>(level)];
}

const QHash<QString, VBValue>& constants()
{
    static const QHash<QString, VBValue> table = [] {
        QHash<QString, VBValue> t;
        auto text = [&t](const char* name, QString value) {
            t.insert(QString::fromLatin1(name).toLower(), VBValue::String(std::move(value)));
        };
        auto number = [&t](const char* name, std::int64_t value) {
            t.insert(QString::fromLatin1(name).toLower(), VBValue::FromInteger(value));
        };
        text("vbCrLf", QStringLiteral("\r\n"));
        text("vbNewLine", QStringLiteral("\r\n"));
        text("vbCr", QStringLiteral("\r"));
        text("vbLf", QStringLiteral("\n"));
        text("vbTab", QStringLiteral("\t"));
        text("vbNullString", QString());
        text("vbNullChar", QString(QChar(0)));
        text("vbFormFeed", QStringLiteral("\f"));
        text("vbVerticalTab", QStringLiteral("\v"));
        for (const auto& [name, value] :
             std::initializer_list<std::pair<const char*, std::int64_t>>{{"vbTrue", -1},
                                                                         {"vbFalse", 0},
                                                                         {"vbUseDefault", -2},
                                                                         {"vbBinaryCompare", 0},
                                                                         {"vbTextCompare", 1},
                                                                         {"vbDatabaseCompare", 2},
                                                                         {"vbSunday", 1},
                                                                         {"vbMonday", 2},
                                                                         {"vbTuesday", 3},
                                                                         {"vbWednesday", 4},
                                                                         {"vbThursday", 5},
                                                                         {"vbFriday", 6},
                                                                         {"vbSaturday", 7},
                                                                         {"vbUseSystemDayOfWeek", 0},
                                                                         {"vbUseSystem", 0},
                                                                         {"vbFirstJan1", 1},
                                                                         {"vbFirstFourDays", 2},
                                                                         {"vbFirstFullWeek", 3},
                                                                         {"vbGeneralDate", 0},
                                                                         {"vbLongDate", 1},
                                                                         {"vbShortDate", 2},
                                                                         {"vbLongTime", 3},
                                                                         {"vbShortTime", 4},
                                                                         {"vbEmpty", 0},
                                                                         {"vbNull", 1},
                                                                         {"vbInteger", 2},
                                                                         {"vbLong", 3},
                                                                         {"vbSingle", 4},
                                                                         {"vbDouble", 5},
                                                                         {"vbCurrency", 6},
                                                                         {"vbDate", 7},
                                                                         {"vbString", 8},
                                                                         {"vbObject", 9},
                                                                         {"vbError", 10},
                                                                         {"vbBoolean", 11},
                                                                         {"vbVariant", 12},
                                                                         {"vbDataObject", 13},
                                                                         {"vbDecimal", 14},
                                                                         {"vbByte", 17},
                                                                         {"vbArray", 8192},
                                                                         {"vbObjectError", -2147221504LL},
                                                                         {"vbBlack", 0},
                                                                         {"vbRed", 255},
                                                                         {"vbGreen", 65280},
                                                                         {"vbYellow", 65535},
                                                                         {"vbBlue", 16711680},
                                                                         {"vbMagenta", 16711935},
                                                                         {"vbCyan", 16776960},
                                                                         {"vbWhite", 16777215},
                                                                         {"vbOKOnly", 0},
                                                                         {"vbOKCancel", 1},
                                                                         {"vbAbortRetryIgnore", 2},
                                                                         {"vbYesNoCancel", 3},
                                                                         {"vbYesNo", 4},
                                                                         {"vbRetryCancel", 5},
                                                                         {"vbCritical", 16},
                                                                         {"vbQuestion", 32},
                                                                         {"vbExclamation", 48},
                                                                         {"vbInformation", 64},
                                                                         {"vbOK", 1},
                                                                         {"vbCancel", 2},
                                                                         {"vbAbort", 3},
                                                                         {"vbRetry", 4},
                                                                         {"vbIgnore", 5},
                                                                         {"vbYes", 6},
                                                                         {"vbNo", 7}})
            number(name, value);
        t.insert(QStringLiteral("true"), VBValue::Boolean(true));
        t.insert(QStringLiteral("false"), VBValue::Boolean(false));
        t.insert(QStringLiteral("empty"), VBValue::Empty());
        t.insert(QStringLiteral("null"), VBValue::Null());
        t.insert(QStringLiteral("nothing"), VBValue::Nothing());
        return t;
    }();
    return table;
}

bool isStatementKeyword(const QString& lower)
{
    static const QHash<QString, bool> words = [] {
        QHash<QString, bool> w;
        for (const char* k :
             {"if",   "then",     "else",  "elseif", "end",     "dim",       "redim",  "set",  "let",    "call",
              "sub",  "function", "for",   "next",   "do",      "loop",      "while",  "wend", "select", "case",
              "with", "class",    "const", "exit",   "private", "public",    "option", "on",   "each",   "in",
              "to",   "step",     "until", "new",    "erase",   "randomize", "stop",   "goto"})
            w.insert(QString::fromLatin1(k), true);
        return w;
    }();
    return words.contains(lower);
}

} // namespace

std::unique_ptr<VBNode> VBParser::Parse(QStringView text)
{
    try {
        VBParser parser(text);
        while (parser.m_token.kind == VBToken::Kind::Newline)
            parser.Advance();
        std::unique_ptr<VBNode> root = parser.Expr();
        while (parser.m_token.kind == VBToken::Kind::Newline)
            parser.Advance();
        if (parser.m_token.kind != VBToken::Kind::End)
            return nullptr;
        return root;
    } catch (const ParseFailure&) {
        return nullptr;
    } catch (const VBError&) {
        return nullptr; // a literal out of range
    }
}

bool VBParser::IsOperator(const char* op) const
{
    return m_token.kind == VBToken::Kind::Operator && m_token.text == QLatin1String(op);
}

std::unique_ptr<VBNode> VBParser::Binary(VBOp op, std::unique_ptr<VBNode> left, std::unique_ptr<VBNode> right)
{
    auto node = std::make_unique<VBNode>();
    node->kind = VBNode::Kind::Binary;
    node->op = op;
    node->depth = std::max(left->depth, right->depth) + 1;
    if (node->depth > kMaxDepth)
        throw ParseFailure();
    node->children.push_back(std::move(left));
    node->children.push_back(std::move(right));
    return node;
}

std::unique_ptr<VBNode> VBParser::Unary(VBOp op, std::unique_ptr<VBNode> operand)
{
    auto node = std::make_unique<VBNode>();
    node->kind = VBNode::Kind::Unary;
    node->op = op;
    node->depth = operand->depth + 1;
    if (node->depth > kMaxDepth)
        throw ParseFailure();
    node->children.push_back(std::move(operand));
    return node;
}

std::unique_ptr<VBNode> VBParser::Expr()
{
    if (++m_nesting > kMaxNesting)
        throw ParseFailure();
    std::unique_ptr<VBNode> node = Chain(LevelImp);
    --m_nesting;
    return node;
}

std::unique_ptr<VBNode> VBParser::Chain(int level)
{
    if (level == LevelNot)
        return NotLevel();
    if (level == LevelUnary)
        return UnaryLevel();
    std::unique_ptr<VBNode> left = Chain(level + 1);
    const std::vector<LevelOp>& ops = levelOps(level);
    while (m_token.kind == VBToken::Kind::Operator) {
        const LevelOp* found = nullptr;
        for (const LevelOp& op : ops) {
            if (m_token.text == QLatin1String(op.text)) {
                found = &op;
                break;
            }
        }
        if (!found)
            break;
        Advance();
        left = Binary(found->op, std::move(left), Chain(level + 1));
    }
    return left;
}

std::unique_ptr<VBNode> VBParser::NotLevel()
{
    if (IsOperator("Not")) {
        if (++m_nesting > kMaxNesting)
            throw ParseFailure();
        Advance();
        auto node = Unary(VBOp::Not, NotLevel());
        --m_nesting;
        return node;
    }
    return Chain(LevelCompare);
}

// Signs bind looser than "^" before a power (-2^2 is -4) but may also stand before an exponent
// (2^-1); `operand` parses what the signs apply to in each place.
std::unique_ptr<VBNode> VBParser::Signed(std::unique_ptr<VBNode> (VBParser::*operand)())
{
    if (!IsOperator("-") && !IsOperator("+"))
        return (this->*operand)();
    if (++m_nesting > kMaxNesting)
        throw ParseFailure();
    const VBOp op = IsOperator("-") ? VBOp::Neg : VBOp::Plus;
    Advance();
    std::unique_ptr<VBNode> inner = Signed(operand);
    --m_nesting;
    // A signed number literal stays a literal of the expression (its type is fixed for comparisons).
    if (inner->kind == VBNode::Kind::Literal && inner->value.hard && inner->value.isNumeric()) {
        VBValue folded = VBOperators::Unary(op, inner->value);
        folded.hard = true;
        inner->value = std::move(folded);
        return inner;
    }
    return Unary(op, std::move(inner));
}

std::unique_ptr<VBNode> VBParser::UnaryLevel()
{
    return Signed(&VBParser::Power);
}

std::unique_ptr<VBNode> VBParser::Power()
{
    std::unique_ptr<VBNode> left = Primary();
    while (IsOperator("^")) {
        Advance();
        left = Binary(VBOp::Pow, std::move(left), Signed(&VBParser::Primary));
    }
    return left;
}

std::unique_ptr<VBNode> VBParser::Primary()
{
    switch (m_token.kind) {
    case VBToken::Kind::Literal: {
        auto node = std::make_unique<VBNode>();
        node->value = std::move(m_token.value);
        Advance();
        return node;
    }
    case VBToken::Kind::LParen: {
        Advance();
        std::unique_ptr<VBNode> inner = Expr();
        if (m_token.kind != VBToken::Kind::RParen)
            throw ParseFailure();
        Advance();
        return inner;
    }
    case VBToken::Kind::Ident: {
        const QString name = m_token.text;
        Advance();
        std::unique_ptr<VBNode> node = Name(name);
        if (m_token.kind == VBToken::Kind::Dot)
            throw ParseFailure(); // no objects with members exist here
        return node;
    }
    case VBToken::Kind::Operator:
        // "Not" as an operand (1 + Not 0) applies to everything after it down to a comparison.
        if (IsOperator("Not"))
            return NotLevel();
        throw ParseFailure();
    default:
        throw ParseFailure();
    }
}

std::unique_ptr<VBNode> VBParser::Name(const QString& name)
{
    const QString lower = name.toLower();
    const bool call = m_token.kind == VBToken::Kind::LParen;
    std::vector<std::unique_ptr<VBNode>> args;
    if (call) {
        Advance();
        if (m_token.kind != VBToken::Kind::RParen) {
            while (true) {
                // An argument may be left out between commas; the function then takes its default.
                if (m_token.kind == VBToken::Kind::Comma || m_token.kind == VBToken::Kind::RParen) {
                    auto omitted = std::make_unique<VBNode>();
                    omitted->value.missing = true;
                    args.push_back(std::move(omitted));
                } else {
                    args.push_back(Expr());
                }
                if (m_token.kind == VBToken::Kind::Comma) {
                    Advance();
                    continue;
                }
                break;
            }
        }
        if (m_token.kind != VBToken::Kind::RParen)
            throw ParseFailure();
        Advance();
    }

    if (const VBFunction* f = VBFunctions::Find(lower)) {
        const int count = static_cast<int>(args.size());
        if (count < f->minArgs || count > f->maxArgs)
            throw ParseFailure();
        for (int k = 0; k < f->minArgs; ++k) {
            if (args[static_cast<size_t>(k)]->kind == VBNode::Kind::Literal &&
                args[static_cast<size_t>(k)]->value.missing)
                throw ParseFailure(); // a required argument cannot be left out
        }
        auto node = std::make_unique<VBNode>();
        node->kind = VBNode::Kind::Call;
        node->function = f;
        for (const auto& a : args)
            node->depth = std::max(node->depth, a->depth + 1);
        if (node->depth > kMaxDepth)
            throw ParseFailure();
        node->children = std::move(args);
        return node;
    }
    if (call)
        throw ParseFailure(); // a constant or an undeclared variable cannot be called or indexed
    const auto constant = constants().constFind(lower);
    auto node = std::make_unique<VBNode>();
    if (constant != constants().constEnd()) {
        node->value = *constant;
        return node;
    }
    if (isStatementKeyword(lower))
        throw ParseFailure();
    return node; // an undeclared variable: Empty
}
