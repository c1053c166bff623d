#include "VBLexer.h"

#include "VBDate.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace {

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isIdentStart(QChar c)
{
    return c.isLetter();
}

bool isIdentPart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

VBToken make(VBToken::Kind kind, QString text = QString())
{
    VBToken t;
    t.kind = kind;
    t.text = std::move(text);
    return t;
}

VBToken literal(VBValue v)
{
    VBToken t;
    t.kind = VBToken::Kind::Literal;
    v.hard = true;
    t.value = std::move(v);
    return t;
}

} // namespace

void VBLexer::SkipBlanks()
{
    while (m_pos < m_text.size()) {
        const QChar c = m_text.at(m_pos);
        if (c == u' ' || c == u'\t') {
            ++m_pos;
            continue;
        }
        if (c == u'_') {
            // Line continuation: "_" followed by blanks and a line break.
            qsizetype k = m_pos + 1;
            while (k < m_text.size() && (m_text.at(k) == u' ' || m_text.at(k) == u'\t'))
                ++k;
            if (k < m_text.size() && (m_text.at(k) == u'\r' || m_text.at(k) == u'\n')) {
                if (m_text.at(k) == u'\r' && k + 1 < m_text.size() && m_text.at(k + 1) == u'\n')
                    ++k;
                m_pos = k + 1;
                continue;
            }
        }
        if (c == u'\'') {
            while (m_pos < m_text.size() && m_text.at(m_pos) != u'\r' && m_text.at(m_pos) != u'\n')
                ++m_pos;
            continue;
        }
        break;
    }
}

VBToken VBLexer::Next()
{
    SkipBlanks();
    if (m_pos >= m_text.size())
        return make(VBToken::Kind::End);
    const QChar c = m_text.at(m_pos);
    if (c == u'\r' || c == u'\n') {
        ++m_pos;
        return make(VBToken::Kind::Newline);
    }
    if (isDigit(c) || (c == u'.' && m_pos + 1 < m_text.size() && isDigit(m_text.at(m_pos + 1))))
        return Number();
    if (c == u'"')
        return String();
    if (c == u'#')
        return DateLiteral();
    if (c == u'&' && m_pos + 2 < m_text.size()) {
        const QChar kind = m_text.at(m_pos + 1).toUpper();
        if (kind == u'H' && VBValue::HexDigit(m_text.at(m_pos + 2)) >= 0)
            return Hex(16);
        if (kind == u'O' && VBValue::HexDigit(m_text.at(m_pos + 2)) >= 0 && VBValue::HexDigit(m_text.at(m_pos + 2)) < 8)
            return Hex(8);
    }
    if (isIdentStart(c) || c == u'[')
        return Identifier();
    ++m_pos;
    switch (c.unicode()) {
    case '(':
        return make(VBToken::Kind::LParen);
    case ')':
        return make(VBToken::Kind::RParen);
    case ',':
        return make(VBToken::Kind::Comma);
    case '.':
        return make(VBToken::Kind::Dot);
    case '+':
    case '-':
    case '*':
    case '/':
    case '\\':
    case '^':
    case '&':
    case '=':
        return make(VBToken::Kind::Operator, QString(c));
    case '<':
        if (m_pos < m_text.size() && (m_text.at(m_pos) == u'>' || m_text.at(m_pos) == u'=')) {
            const QChar second = m_text.at(m_pos++);
            return make(VBToken::Kind::Operator, QString(c) + second);
        }
        return make(VBToken::Kind::Operator, QStringLiteral("<"));
    case '>':
        if (m_pos < m_text.size() && m_text.at(m_pos) == u'=') {
            ++m_pos;
            return make(VBToken::Kind::Operator, QStringLiteral(">="));
        }
        return make(VBToken::Kind::Operator, QStringLiteral(">"));
    default:
        return make(VBToken::Kind::Bad);
    }
}

// Integers without a decimal point or exponent are Integer up to 32767, Long up to 2147483647,
// Double beyond; every other number is a Double.
VBToken VBLexer::Number()
{
    std::string digits;
    bool isFloat = false;
    while (m_pos < m_text.size() && isDigit(m_text.at(m_pos)))
        digits.push_back(static_cast<char>(m_text.at(m_pos++).unicode()));
    if (m_pos < m_text.size() && m_text.at(m_pos) == u'.') {
        isFloat = true;
        digits.push_back('.');
        ++m_pos;
        while (m_pos < m_text.size() && isDigit(m_text.at(m_pos)))
            digits.push_back(static_cast<char>(m_text.at(m_pos++).unicode()));
    }
    if (m_pos < m_text.size() && (m_text.at(m_pos) == u'e' || m_text.at(m_pos) == u'E')) {
        qsizetype k = m_pos + 1;
        std::string exponent = "e";
        if (k < m_text.size() && (m_text.at(k) == u'+' || m_text.at(k) == u'-'))
            exponent.push_back(static_cast<char>(m_text.at(k++).unicode()));
        if (k < m_text.size() && isDigit(m_text.at(k))) {
            while (k < m_text.size() && isDigit(m_text.at(k)))
                exponent.push_back(static_cast<char>(m_text.at(k++).unicode()));
            digits += exponent;
            isFloat = true;
            m_pos = k;
        } else {
            return make(VBToken::Kind::Bad);
        }
    }
    double v = 0.0;
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (res.ec != std::errc() || !std::isfinite(v))
        return make(VBToken::Kind::Bad);
    if (!isFloat && v <= 2147483647.0)
        return literal(VBValue::FromInteger(static_cast<std::int64_t>(v)));
    return literal(VBValue::Double(v));
}

// &H and &O literals: values up to &HFFFF are Integers (so &HFFFF is -1), larger ones Longs
// (&HFFFFFFFF is -1); a trailing & asks for a Long.
VBToken VBLexer::Hex(int base)
{
    m_pos += 2;
    std::uint64_t v = 0;
    while (m_pos < m_text.size()) {
        const int digit = VBValue::HexDigit(m_text.at(m_pos));
        if (digit < 0 || digit >= base)
            break;
        v = v * base + digit;
        if (v > 0xFFFFFFFFull)
            return make(VBToken::Kind::Bad);
        ++m_pos;
    }
    bool forceLong = false;
    if (m_pos < m_text.size() && m_text.at(m_pos) == u'&') {
        forceLong = true;
        ++m_pos;
    }
    if (v <= 0xFFFF && !forceLong)
        return literal(VBValue::Integer(static_cast<std::int16_t>(v)));
    return literal(VBValue::Long(static_cast<std::int32_t>(static_cast<std::uint32_t>(v))));
}

VBToken VBLexer::String()
{
    ++m_pos;
    QString s;
    while (m_pos < m_text.size()) {
        const QChar c = m_text.at(m_pos++);
        if (c == u'"') {
            if (m_pos < m_text.size() && m_text.at(m_pos) == u'"') {
                s += u'"';
                ++m_pos;
                continue;
            }
            return literal(VBValue::String(std::move(s)));
        }
        if (c == u'\r' || c == u'\n')
            return make(VBToken::Kind::Bad); // a string literal ends on its line
        s += c;
    }
    return make(VBToken::Kind::Bad);
}

VBToken VBLexer::DateLiteral()
{
    const qsizetype start = ++m_pos;
    while (m_pos < m_text.size() && m_text.at(m_pos) != u'#' && m_text.at(m_pos) != u'\r' && m_text.at(m_pos) != u'\n')
        ++m_pos;
    if (m_pos >= m_text.size() || m_text.at(m_pos) != u'#')
        return make(VBToken::Kind::Bad);
    double serial = 0.0;
    const bool ok = VBDate::Parse(m_text.mid(start, m_pos - start), serial);
    ++m_pos;
    if (!ok)
        return make(VBToken::Kind::Bad);
    return literal(VBValue::Date(serial));
}

VBToken VBLexer::Identifier()
{
    if (m_text.at(m_pos) == u'[') {
        const qsizetype start = ++m_pos;
        while (m_pos < m_text.size() && m_text.at(m_pos) != u']' && m_text.at(m_pos) != u'\r' &&
               m_text.at(m_pos) != u'\n')
            ++m_pos;
        if (m_pos >= m_text.size() || m_text.at(m_pos) != u']')
            return make(VBToken::Kind::Bad);
        const QString name = m_text.mid(start, m_pos - start).toString();
        ++m_pos;
        return make(VBToken::Kind::Ident, name);
    }
    const qsizetype start = m_pos;
    while (m_pos < m_text.size() && isIdentPart(m_text.at(m_pos)))
        ++m_pos;
    const QStringView word = m_text.mid(start, m_pos - start);
    static const std::array<const char*, 8> keywords = {"And", "Or", "Not", "Xor", "Eqv", "Imp", "Mod", "Is"};
    for (const char* k : keywords) {
        if (word.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return make(VBToken::Kind::Operator, QString::fromLatin1(k));
    }
    if (word.compare(QLatin1String("Rem"), Qt::CaseInsensitive) == 0) {
        while (m_pos < m_text.size() && m_text.at(m_pos) != u'\r' && m_text.at(m_pos) != u'\n')
            ++m_pos;
        return Next();
    }
    return make(VBToken::Kind::Ident, word.toString());
}
