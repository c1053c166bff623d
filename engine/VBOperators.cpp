#include "VBOperators.h"

#include "VBDate.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

// Numeric subtypes in the order arithmetic widens them.
enum Rank { RByte, RInteger, RLong, RSingle, RDouble, RCurrency, RDate };

struct Num
{
    Rank rank;
    std::int64_t i; // Byte, Integer, Long; Currency scaled by 10000
    double d;       // Single, Double, Date
};

Num toNum(const VBValue& v)
{
    switch (v.type) {
    case VBType::Empty:
        return Num{RInteger, 0, 0.0};
    case VBType::Boolean:
    case VBType::Integer:
        return Num{RInteger, v.i, 0.0};
    case VBType::Byte:
        return Num{RByte, v.i, 0.0};
    case VBType::Long:
        return Num{RLong, v.i, 0.0};
    case VBType::Single:
        return Num{RSingle, 0, v.d};
    case VBType::Double:
        return Num{RDouble, 0, v.d};
    case VBType::Currency:
        return Num{RCurrency, v.i, 0.0};
    case VBType::Date:
        return Num{RDate, 0, v.d};
    case VBType::String: {
        double d = 0.0;
        if (!VBValue::ParseNumber(v.s, d))
            throw VBError(VBError::TypeMismatch);
        return Num{RDouble, 0, d};
    }
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

double asDouble(const Num& n)
{
    switch (n.rank) {
    case RByte:
    case RInteger:
    case RLong:
        return static_cast<double>(n.i);
    case RCurrency:
        return static_cast<double>(n.i) / 10000.0;
    default:
        return n.d;
    }
}

/// The value as Currency units (scaled by 10000); Overflow outside Currency's range.
std::int64_t asCurrency(const Num& n)
{
    if (n.rank == RCurrency)
        return n.i;
    if (n.rank <= RLong)
        return n.i * 10000;
    return VBValue::CurrencyFromDouble(asDouble(n));
}

/// An integer result in the narrowest subtype at or above `rank` that holds it.
VBValue fitInteger(std::int64_t r, Rank rank)
{
    if (rank == RByte && r >= 0 && r <= 255)
        return VBValue::Byte(r);
    if (rank <= RInteger && r >= -32768 && r <= 32767)
        return VBValue::Integer(r);
    if (r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max())
        return VBValue::Long(r);
    return VBValue::Double(static_cast<double>(r));
}

VBValue fitSingle(double r)
{
    if (std::isfinite(r) && std::fabs(r) <= FLT_MAX)
        return VBValue::Single(r);
    return VBValue::Double(r);
}

// Operands of the logical operators: Boolean stays Boolean, Byte/Integer keep their width,
// everything else becomes a Long (text "True"/"False" reads as a Boolean).
struct Bits
{
    enum Kind { Null, Bool, Byte, Integer, Long } kind;
    std::int64_t v;
};

Bits toBits(const VBValue& a)
{
    switch (a.type) {
    case VBType::Null:
        return Bits{Bits::Null, 0};
    case VBType::Empty:
        return Bits{Bits::Integer, 0};
    case VBType::Boolean:
        return Bits{Bits::Bool, a.i};
    case VBType::Byte:
        return Bits{Bits::Byte, a.i};
    case VBType::Integer:
        return Bits{Bits::Integer, a.i};
    case VBType::String: {
        const QString t = a.s.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return Bits{Bits::Bool, -1};
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return Bits{Bits::Bool, 0};
        return Bits{Bits::Long, a.ToLong()};
    }
    case VBType::Object:
        throw VBError(VBError::TypeMismatch);
    default:
        return Bits{Bits::Long, a.ToLong()};
    }
}

VBValue fromBits(std::int64_t r, Bits::Kind kind)
{
    switch (kind) {
    case Bits::Bool:
        return VBValue::Boolean(r != 0);
    case Bits::Byte:
        return VBValue::Byte(r & 0xFF);
    case Bits::Integer:
        return VBValue::Integer(static_cast<std::int16_t>(r));
    default:
        return VBValue::Long(static_cast<std::int32_t>(r));
    }
}

/// All bits set for the operand's width (True, 255, -1).
bool allOnes(const Bits& b)
{
    return b.kind == Bits::Byte ? b.v == 255 : b.v == -1;
}

Bits::Kind widerBits(Bits::Kind a, Bits::Kind b)
{
    if (a == b)
        return a;
    auto width = [](Bits::Kind k) { return k == Bits::Long ? 3 : k == Bits::Byte ? 1 : 2; };
    return width(a) >= width(b) ? (a == Bits::Bool ? Bits::Integer : a) : (b == Bits::Bool ? Bits::Integer : b);
}

int compareText(const QString& a, const QString& b)
{
    const int c = QStringView(a).compare(QStringView(b), Qt::CaseSensitive);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int compareNumbers(const VBValue& a, const VBValue& b)
{
    if ((a.isIntegral() || a.isEmpty()) && (b.isIntegral() || b.isEmpty()))
        return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    if (a.type == VBType::Currency && b.type == VBType::Currency)
        return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    const double p = a.ToDouble(), q = b.ToDouble();
    return p < q ? -1 : p > q ? 1 : 0;
}

/// A text operand read as the number (or date) the other, fixed-type operand asks for.
VBValue coerceText(const QString& text, const VBValue& like)
{
    if (like.type == VBType::Date) {
        double serial = 0.0;
        if (!VBDate::Parse(text, serial))
            throw VBError(VBError::TypeMismatch);
        return VBValue::Date(serial);
    }
    double d = 0.0;
    if (!VBValue::ParseNumber(text, d))
        throw VBError(VBError::TypeMismatch);
    return VBValue::Double(d);
}

/// Two texts joined; beyond the longest text an expression may build the language runs out of memory.
VBValue joined(const QString& a, const QString& b)
{
    if (a.size() + b.size() > (qsizetype(1) << 26))
        throw VBError(VBError::OutOfMemory);
    return VBValue::String(a + b);
}

} // namespace

VBValue VBOperators::Binary(VBOp op, const VBValue& a, const VBValue& b)
{
    switch (op) {
    case VBOp::Add:
        return Add(a, b);
    case VBOp::Sub:
    case VBOp::Mul:
        if (a.isNull() || b.isNull())
            return VBValue::Null();
        return Arith(op, a, b);
    case VBOp::Div:
        return Divide(a, b);
    case VBOp::IntDiv:
    case VBOp::Mod:
        return IntegerOp(op, a, b);
    case VBOp::Pow:
        return Power(a, b);
    case VBOp::Concat:
        return Concat(a, b);
    case VBOp::Eq:
    case VBOp::Ne:
    case VBOp::Lt:
    case VBOp::Gt:
    case VBOp::Le:
    case VBOp::Ge:
        return Comparison(op, a, b);
    case VBOp::Is:
        return Is(a, b);
    case VBOp::And:
    case VBOp::Or:
    case VBOp::Xor:
    case VBOp::Eqv:
    case VBOp::Imp:
        return Logical(op, a, b);
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

VBValue VBOperators::Unary(VBOp op, const VBValue& a)
{
    switch (op) {
    case VBOp::Neg:
        return Negate(a);
    case VBOp::Not:
        return Not(a);
    case VBOp::Plus: {
        if (a.isObject())
            throw VBError(VBError::TypeMismatch);
        VBValue r = a;
        r.hard = false;
        return r;
    }
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

// "+" adds numbers and joins texts: two texts are joined, Empty leaves the other operand as it is,
// a text and a number are added (the text read as a number).
VBValue VBOperators::Add(const VBValue& a, const VBValue& b)
{
    if (a.isNull() || b.isNull())
        return VBValue::Null();
    if (a.isObject() || b.isObject())
        throw VBError(VBError::TypeMismatch);
    if (a.isEmpty() && b.isEmpty())
        return VBValue::Integer(0);
    if (a.isString() && b.isString())
        return joined(a.s, b.s);
    if (a.isEmpty() || b.isEmpty()) {
        const VBValue& other = a.isEmpty() ? b : a;
        if (other.type == VBType::Boolean)
            return VBValue::Integer(other.i);
        VBValue r = other;
        r.hard = false;
        return r;
    }
    return Arith(VBOp::Add, a, b);
}

VBValue VBOperators::Arith(VBOp op, const VBValue& a, const VBValue& b)
{
    const Num x = toNum(a);
    const Num y = toNum(b);
    Rank rank = std::max(x.rank, y.rank);
    if (x.rank == RDate || y.rank == RDate) {
        if (op == VBOp::Mul || (op == VBOp::Sub && x.rank == RDate && y.rank == RDate))
            rank = RDouble;
        else
            rank = RDate;
    } else if (rank == RCurrency &&
               (x.rank == RSingle || x.rank == RDouble || y.rank == RSingle || y.rank == RDouble)) {
        rank = RDouble;
    } else if ((x.rank == RSingle && y.rank == RLong) || (x.rank == RLong && y.rank == RSingle)) {
        rank = RDouble;
    }

    switch (rank) {
    case RByte:
    case RInteger:
    case RLong: {
        const std::int64_t r = op == VBOp::Add ? x.i + y.i : op == VBOp::Sub ? x.i - y.i : x.i * y.i;
        return fitInteger(r, rank);
    }
    case RCurrency: {
        if (op == VBOp::Mul) {
            // Currency times a whole number stays exact; two Currency values are rescaled.
            const bool xc = x.rank == RCurrency, yc = y.rank == RCurrency;
            const __int128 p = static_cast<__int128>(x.i) * static_cast<__int128>(y.i);
            __int128 r = p;
            if (xc && yc) {
                r = p / 10000;
                const __int128 rem = p % 10000;
                const __int128 twice = (rem < 0 ? -rem : rem) * 2;
                if (twice > 10000 || (twice == 10000 && (r % 2 != 0)))
                    r += p < 0 ? -1 : 1;
            }
            if (r > std::numeric_limits<std::int64_t>::max() || r < std::numeric_limits<std::int64_t>::min())
                throw VBError(VBError::Overflow);
            return VBValue::CurrencyScaled(static_cast<std::int64_t>(r));
        }
        const std::int64_t cx = asCurrency(x), cy = asCurrency(y);
        std::int64_t r = 0;
        if (op == VBOp::Add ? __builtin_add_overflow(cx, cy, &r) : __builtin_sub_overflow(cx, cy, &r))
            throw VBError(VBError::Overflow);
        return VBValue::CurrencyScaled(r);
    }
    case RSingle:
    case RDouble:
    case RDate: {
        const double p = asDouble(x), q = asDouble(y);
        const double r = op == VBOp::Add ? p + q : op == VBOp::Sub ? p - q : p * q;
        if (rank == RSingle)
            return fitSingle(r);
        if (rank == RDate)
            return VBValue::Date(r);
        return VBValue::Double(r);
    }
    }
    throw VBError(VBError::TypeMismatch);
}

VBValue VBOperators::Divide(const VBValue& a, const VBValue& b)
{
    if (a.isNull() || b.isNull())
        return VBValue::Null();
    const Num x = toNum(a);
    const Num y = toNum(b);
    const double p = asDouble(x), q = asDouble(y);
    if (q == 0.0)
        throw VBError(p == 0.0 ? VBError::Overflow : VBError::DivisionByZero);
    const bool single = (x.rank == RSingle || y.rank == RSingle) && x.rank <= RSingle && y.rank <= RSingle &&
                        x.rank != RLong && y.rank != RLong;
    return single ? fitSingle(p / q) : VBValue::Double(p / q);
}

// "\" and Mod round their operands to whole numbers (half to even) first; Byte and Integer
// operands keep their width.
VBValue VBOperators::IntegerOp(VBOp op, const VBValue& a, const VBValue& b)
{
    if (a.isNull() || b.isNull())
        return VBValue::Null();
    auto whole = [](const VBValue& v, Rank& rank) -> std::int64_t {
        switch (v.type) {
        case VBType::Byte:
            rank = RByte;
            return v.i;
        case VBType::Empty:
        case VBType::Boolean:
        case VBType::Integer:
            rank = RInteger;
            return v.i;
        case VBType::Object:
            throw VBError(VBError::TypeMismatch);
        default:
            rank = RLong;
            return v.ToLong();
        }
    };
    Rank ra = RInteger, rb = RInteger;
    const std::int64_t x = whole(a, ra);
    const std::int64_t y = whole(b, rb);
    if (y == 0)
        throw VBError(VBError::DivisionByZero);
    return fitInteger(op == VBOp::IntDiv ? x / y : x % y, std::max(ra, rb));
}

VBValue VBOperators::Power(const VBValue& a, const VBValue& b)
{
    if (a.isNull() || b.isNull())
        return VBValue::Null();
    const double x = asDouble(toNum(a));
    const double y = asDouble(toNum(b));
    if (x < 0 && y != std::trunc(y))
        throw VBError(VBError::InvalidCall);
    if (x == 0 && y < 0)
        throw VBError(VBError::DivisionByZero);
    return VBValue::Double(std::pow(x, y));
}

VBValue VBOperators::Concat(const VBValue& a, const VBValue& b)
{
    if (a.isNull() && b.isNull())
        return VBValue::Null();
    return joined(a.ToTextOrEmpty(), b.ToTextOrEmpty());
}

// And, Or, Xor, Eqv and Imp work bit by bit on whole numbers and logically on Booleans. Null is
// "unknown": Null And False is False, Null Or True is True, False Imp Null is True; otherwise Null.
VBValue VBOperators::Logical(VBOp op, const VBValue& a, const VBValue& b)
{
    const Bits x = toBits(a);
    const Bits y = toBits(b);
    if (x.kind == Bits::Null || y.kind == Bits::Null) {
        if (x.kind == Bits::Null && y.kind == Bits::Null)
            return VBValue::Null();
        const bool nullLeft = x.kind == Bits::Null;
        const Bits& known = nullLeft ? y : x;
        switch (op) {
        case VBOp::And:
            return known.v == 0 ? fromBits(0, known.kind) : VBValue::Null();
        case VBOp::Or:
            return allOnes(known) ? fromBits(known.v, known.kind) : VBValue::Null();
        case VBOp::Imp:
            if (nullLeft)
                return allOnes(known) ? fromBits(known.v, known.kind) : VBValue::Null();
            return known.v == 0 ? fromBits(known.kind == Bits::Byte ? 255 : -1, known.kind) : VBValue::Null();
        default:
            return VBValue::Null();
        }
    }
    const Bits::Kind kind = widerBits(x.kind, y.kind);
    std::int64_t r = 0;
    switch (op) {
    case VBOp::And:
        r = x.v & y.v;
        break;
    case VBOp::Or:
        r = x.v | y.v;
        break;
    case VBOp::Xor:
        r = x.v ^ y.v;
        break;
    case VBOp::Eqv:
        r = ~(x.v ^ y.v);
        break;
    default:
        r = ~x.v | y.v;
        break;
    }
    return fromBits(r, kind);
}

int VBOperators::Compare(const VBValue& a, const VBValue& b, bool& isNull)
{
    isNull = false;
    if (a.isNull() || b.isNull()) {
        isNull = true;
        return 0;
    }
    if (a.isObject() || b.isObject())
        throw VBError(VBError::TypeMismatch);

    if (a.hard || b.hard) {
        // A literal has a fixed type: a text literal compares as text with anything, a number
        // (or date) literal reads a text operand as a number (or date).
        if (a.hard && b.hard) {
            if (a.isString() && b.isString())
                return compareText(a.s, b.s);
            if (a.isString())
                return compareNumbers(coerceText(a.s, b), b);
            if (b.isString())
                return compareNumbers(a, coerceText(b.s, a));
            return compareNumbers(a, b);
        }
        const VBValue& lit = a.hard ? a : b;
        const VBValue& var = a.hard ? b : a;
        int c = 0;
        if (lit.isString())
            c = compareText(lit.s, var.ToText());
        else if (var.isString())
            c = compareNumbers(lit, coerceText(var.s, lit));
        else
            c = compareNumbers(lit, var);
        return a.hard ? c : -c;
    }

    // Two Variants: texts compare as text, numbers as numbers, a number is less than any text,
    // Empty is 0 next to a number and "" next to a text.
    if (a.isString() && b.isString())
        return compareText(a.s, b.s);
    if (a.isString())
        return b.isEmpty() ? compareText(a.s, QString()) : 1;
    if (b.isString())
        return a.isEmpty() ? compareText(QString(), b.s) : -1;
    return compareNumbers(a, b);
}

VBValue VBOperators::Comparison(VBOp op, const VBValue& a, const VBValue& b)
{
    bool isNull = false;
    const int c = Compare(a, b, isNull);
    if (isNull)
        return VBValue::Null();
    switch (op) {
    case VBOp::Eq:
        return VBValue::Boolean(c == 0);
    case VBOp::Ne:
        return VBValue::Boolean(c != 0);
    case VBOp::Lt:
        return VBValue::Boolean(c < 0);
    case VBOp::Gt:
        return VBValue::Boolean(c > 0);
    case VBOp::Le:
        return VBValue::Boolean(c <= 0);
    default:
        return VBValue::Boolean(c >= 0);
    }
}

VBValue VBOperators::Is(const VBValue& a, const VBValue& b)
{
    if (!a.isObject() || !b.isObject())
        throw VBError(VBError::ObjectRequired);
    return VBValue::Boolean(true); // the only object is Nothing
}

VBValue VBOperators::Negate(const VBValue& a)
{
    switch (a.type) {
    case VBType::Null:
        return VBValue::Null();
    case VBType::Empty:
        return VBValue::Integer(0);
    case VBType::Boolean:
    case VBType::Byte:
    case VBType::Integer:
        return fitInteger(-a.i, RInteger);
    case VBType::Long:
        return fitInteger(-a.i, RLong);
    case VBType::Single:
        return VBValue::Single(-a.d);
    case VBType::Double:
        return VBValue::Double(-a.d);
    case VBType::Currency:
        if (a.i == std::numeric_limits<std::int64_t>::min())
            throw VBError(VBError::Overflow);
        return VBValue::CurrencyScaled(-a.i);
    case VBType::Date:
        return VBValue::Date(-a.d);
    case VBType::String:
        return VBValue::Double(-a.ToDouble());
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

VBValue VBOperators::Not(const VBValue& a)
{
    const Bits x = toBits(a);
    if (x.kind == Bits::Null)
        return VBValue::Null();
    return fromBits(~x.v, x.kind);
}
