// The JSON data reader against a plain reference built on QJsonDocument: random documents of the
// format (escapes, surrogate pairs, multi-byte text, big and small numbers, nesting, unknown
// members, white space of every length) must give the same sets, and damaged documents must be
// refused exactly when the reference refuses them.
#include "QVNJsonData.h"
#include "QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUtf8StringView>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

// ---- the reference: QJsonDocument, then the format's rules one by one ----

class Reference
{
public:
    bool parse(QByteArray json, TQXValue& out)
    {
        if (json.startsWith("\xEF\xBB\xBF"))
            json.remove(0, 3);
        if (!QUtf8StringView(json).isValidUtf8() || !strictStrings(json))
            return false;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return false;
        return set(doc.object(), out, 1);
    }

private:
    /// QJsonDocument takes any character after a backslash and control characters in strings;
    /// strict JSON does not. (Where the document is otherwise valid, the quotes seen here really
    /// open and close its strings.)
    static bool strictStrings(const QByteArray& json)
    {
        bool inString = false;
        for (qsizetype i = 0; i < json.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(json[i]);
            if (!inString) {
                inString = c == '"';
                continue;
            }
            if (c == '"')
                inString = false;
            else if (c < 0x20)
                return false;
            else if (c == '\\') {
                if (++i >= json.size())
                    return false;
                if (json[i] == 'u') {
                    for (int k = 0; k < 4; ++k) {
                        if (++i >= json.size() || !std::isxdigit(static_cast<unsigned char>(json[i])))
                            return false;
                    }
                } else if (!std::strchr("\"\\/bfnrt", json[i]) || json[i] == 0) {
                    return false;
                }
            }
        }
        return true;
    }

    static bool text(const QJsonObject& o, const char* member, QString& out)
    {
        const QJsonValue v = o.value(QLatin1String(member));
        if (v.isUndefined() || v.isNull())
            return true;
        if (!v.isString())
            return false;
        out = v.toString();
        return true;
    }

    bool set(const QJsonObject& o, TQXValue& out, int depth)
    {
        if (depth > 512)
            return false;
        QString tag;
        if (!text(o, "tag", tag))
            return false;
        const bool hasRows = o.contains(QLatin1String("rows"));
        if (hasRows == o.contains(QLatin1String("cols")))
            return false;
        if (!hasRows) {
            auto cols = TQXCols::Create();
            if (!colArray(o.value(QLatin1String("cols")), *cols, depth))
                return false;
            cols->SetTag(tag);
            out = TQXValue(cols);
            return true;
        }
        const QJsonValue list = o.value(QLatin1String("rows"));
        if (!list.isArray())
            return false;
        auto rows = TQXRows::Create();
        for (const QJsonValue& r : list.toArray()) {
            if (!r.isObject())
                return false;
            const QJsonObject row = r.toObject();
            QString key, name, rowTag;
            if (!text(row, "key", key) || !text(row, "name", name) || !text(row, "tag", rowTag))
                return false;
            TQXColsPtr cols = TQXCols::Create();
            const QJsonValue c = row.value(QLatin1String("cols"));
            if (c.isArray()) {
                if (!colArray(c, *cols, depth))
                    return false;
            } else if (c.isObject()) {
                TQXValue nested;
                if (!set(c.toObject(), nested, depth + 1) || nested.type() != TQXValue::Type::Cols)
                    return false;
                cols = nested.cols();
            } else if (!c.isUndefined() && !c.isNull()) {
                return false;
            }
            rows->Add(cols, key, name, rowTag);
        }
        rows->SetTag(tag);
        out = TQXValue(rows);
        return true;
    }

    bool colArray(const QJsonValue& list, TQXCols& cols, int depth)
    {
        if (!list.isArray())
            return false;
        for (const QJsonValue& c : list.toArray()) {
            if (!c.isObject())
                return false;
            const QJsonObject col = c.toObject();
            QString key, name, type, tag;
            if (!text(col, "key", key) || !text(col, "name", name) || !text(col, "type", type) ||
                !text(col, "tag", tag))
                return false;
            TQXValue value;
            const QJsonValue v = col.value(QLatin1String("value"));
            if (v.isString()) {
                value = TQXValue(v.toString());
            } else if (v.isBool()) {
                value = TQXValue(v.toBool());
            } else if (v.isDouble()) {
                const double d = v.toDouble();
                if (!std::isfinite(d))
                    return false;
                if (std::trunc(d) == d && d >= std::numeric_limits<std::int32_t>::min() &&
                    d <= std::numeric_limits<std::int32_t>::max())
                    value = TQXValue(static_cast<std::int64_t>(d));
                else
                    value = TQXValue(d);
            } else if (v.isObject()) {
                if (!set(v.toObject(), value, depth + 1))
                    return false;
            } else if (v.isArray()) {
                return false;
            }
            cols.Add(value, key, name, type, tag);
        }
        return true;
    }
};

// ---- comparing sets ----

std::string describe(const TQXValue& v)
{
    return std::to_string(static_cast<int>(v.type())) + ":" + v.ToText().toStdString();
}

/// The first difference between two values, as a path and what differs; empty when equal.
std::string difference(const TQXValue& a, const TQXValue& b, const std::string& path);

std::string difference(const TQXColsPtr& a, const TQXColsPtr& b, const std::string& path)
{
    if (a->Tag() != b->Tag() || a->Count() != b->Count())
        return path + ": tag or count";
    for (int i = 1; i <= a->Count(); ++i) {
        const TQXColPtr x = a->Item(i), y = b->Item(i);
        const std::string at = path + ".cols[" + std::to_string(i - 1) + "]";
        if (x->Key() != y->Key() || x->Name() != y->Name() || x->DataType() != y->DataType() || x->Tag() != y->Tag())
            return at + ": key, name, type or tag (" + x->Key().toStdString() + " / " + y->Key().toStdString() + ")";
        const std::string d = difference(x->Value(), y->Value(), at + ".value");
        if (!d.empty())
            return d;
    }
    return {};
}

std::string difference(const TQXValue& a, const TQXValue& b, const std::string& path)
{
    if (a.type() != b.type())
        return path + ": " + describe(a) + " against " + describe(b);
    switch (a.type()) {
    case TQXValue::Type::Rows: {
        const TQXRowsPtr x = a.rows(), y = b.rows();
        if (x->Tag() != y->Tag() || x->Count() != y->Count())
            return path + ": tag or count of rows";
        for (int i = 1; i <= x->Count(); ++i) {
            const TQXRowPtr r = x->Item(i), s = y->Item(i);
            const std::string at = path + ".rows[" + std::to_string(i - 1) + "]";
            if (r->Key() != s->Key() || r->Name() != s->Name() || r->Tag() != s->Tag())
                return at + ": key, name or tag";
            const std::string d = difference(r->Cols(), s->Cols(), at);
            if (!d.empty())
                return d;
        }
        return {};
    }
    case TQXValue::Type::Cols:
        return difference(a.cols(), b.cols(), path);
    case TQXValue::Type::Double:
        return a.toDouble() == b.toDouble() ? std::string() : path + ": " + describe(a) + " against " + describe(b);
    default:
        return a == b ? std::string() : path + ": " + describe(a) + " against " + describe(b);
    }
}

// ---- random documents ----

class Generator
{
public:
    explicit Generator(unsigned seed) : m_rnd(seed) {}

    /// With `plain`, no surrogate escapes and no exponents: a damaged copy then cannot make a lone
    /// surrogate or a number out of range, where the two readers' answers legitimately differ.
    std::string document(bool plain)
    {
        m_plain = plain;
        std::string out = chance(10) ? "\xEF\xBB\xBF" : "";
        out += space();
        out += chance(50) ? rowSet(0) : colSet(0);
        return out + space();
    }

    std::string deepDocument(int depth)
    {
        m_plain = false;
        std::string out;
        for (int i = 0; i < depth; ++i)
            out += "{\"cols\": [{\"key\": \"k\", \"value\": ";
        out += "1";
        for (int i = 0; i < depth; ++i)
            out += "}]}";
        return out;
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rnd); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::string space()
    {
        static const char kSpace[] = {' ', '\n', '\t', '\r'};
        const int n = chance(60) ? 0 : chance(80) ? below(4) : below(40);
        std::string s;
        for (int i = 0; i < n; ++i)
            s += kSpace[below(4)];
        return s;
    }

    std::string hex4(unsigned v)
    {
        static const char kHex[] = "0123456789abcdefABCDEF";
        std::string s = "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned d = (v >> shift) & 0xF;
            s += d < 10 ? kHex[d] : (chance(50) ? kHex[d] : kHex[d + 6]);
        }
        return s;
    }

    /// A string literal: ASCII, multi-byte UTF-8, escapes; short (shared) or long.
    std::string string()
    {
        static const char* const kPieces[] = {"a",         "Z",   "_",   "0",   " ",   "key",  "value",
                                              "column_01", "é",   "表",  "😀",   "ÿ",   "\\\"", "\\\\",
                                              "\\/",       "\\b", "\\f", "\\n", "\\r", "\\t"};
        std::string s = "\"";
        const int kind = below(10);
        const int n = kind < 5 ? below(4) : kind < 9 ? below(12) : 10 + below(40);
        for (int i = 0; i < n; ++i) {
            const int p = below(24);
            if (p < 20) {
                s += kPieces[p];
            } else if (p == 20) {
                s += hex4(static_cast<unsigned>(below(0xD800)));
            } else if (p == 21 && !m_plain) {
                s += hex4(0xD800 + static_cast<unsigned>(below(0x400))) +
                     hex4(0xDC00 + static_cast<unsigned>(below(0x400)));
            } else if (p == 22) {
                s += hex4(0xE000 + static_cast<unsigned>(below(0x2000)));
            } else {
                s += "x";
            }
        }
        return s + "\"";
    }

    /// A short text from a small pool, so equal texts recur as keys and values do in real data.
    std::string pooled()
    {
        static const char* const kPool[] = {"\"CL_NAME\"", "\"CL_TYPE\"", "\"cl_name\"", "\"0\"",      "\"1\"",
                                            "\"long\"",    "\"表 1\"",    "\"\"",        "\"TL_NAME\""};
        return kPool[below(9)];
    }

    std::string text() { return chance(40) ? pooled() : chance(5) ? "null" : string(); }

    std::string number()
    {
        static const char* const kNumbers[] = {"0",
                                               "-0",
                                               "7",
                                               "-12",
                                               "2147483647",
                                               "-2147483648",
                                               "2147483648",
                                               "3000000000",
                                               "2.0",
                                               "2.5",
                                               "-0.000001",
                                               "0.1",
                                               "123456789012345678901234567890"};
        static const char* const kExponents[] = {"1e20", "1E+20", "-2.5e-3", "1e308", "4.9e-324", "12e0"};
        if (!m_plain && chance(30))
            return kExponents[below(6)];
        return kNumbers[below(13)];
    }

    /// Any JSON value, for members the format does not know.
    std::string anyValue(int depth)
    {
        switch (below(depth > 2 ? 4 : 6)) {
        case 0:
            return string();
        case 1:
            return number();
        case 2:
            return chance(50) ? "true" : "null";
        case 3:
            return "false";
        case 4: {
            std::string s = "[" + space();
            const int n = below(4);
            for (int i = 0; i < n; ++i)
                s += (i ? "," + space() : "") + anyValue(depth + 1) + space();
            return s + "]";
        }
        default: {
            std::string s = "{" + space();
            const int n = below(4);
            for (int i = 0; i < n; ++i)
                s += (i ? "," + space() : "") + string() + space() + ":" + space() + anyValue(depth + 1) + space();
            return s + "}";
        }
        }
    }

    /// Members in random order, joined with random white space.
    std::string object(std::vector<std::string> members)
    {
        if (chance(30))
            members.push_back("\"extra\":" + space() + anyValue(0));
        std::shuffle(members.begin(), members.end(), m_rnd);
        std::string s = "{" + space();
        for (size_t i = 0; i < members.size(); ++i)
            s += (i ? "," + space() : "") + members[i] + space();
        return s + "}";
    }

    std::string member(const char* name, const std::string& value)
    {
        // Now and then the member name is written with an escape; it is still the same member.
        std::string n = std::string("\"") + name + "\"";
        if (chance(5) && n.size() > 2)
            n = "\"" + hex4(static_cast<unsigned char>(name[0])) + (name + 1) + "\"";
        return n + space() + ":" + space() + value;
    }

    std::string column(int depth)
    {
        std::vector<std::string> m;
        if (chance(95))
            m.push_back(member("key", text()));
        if (chance(90)) {
            std::string v;
            const int kind = below(20);
            if (kind < 9)
                v = chance(50) ? pooled() : string();
            else if (kind < 13)
                v = number();
            else if (kind < 15)
                v = chance(50) ? "true" : "false";
            else if (kind < 16)
                v = "null";
            else
                v = depth < 5 ? (chance(50) ? colSet(depth + 1) : rowSet(depth + 1)) : "\"leaf\"";
            m.push_back(member("value", v));
        }
        for (const char* optional : {"name", "type", "tag"}) {
            if (chance(20))
                m.push_back(member(optional, text()));
        }
        return object(m);
    }

    std::string columns(int depth)
    {
        std::string s = "[" + space();
        const int n = below(depth == 0 ? 40 : 8);
        for (int i = 0; i < n; ++i)
            s += (i ? "," + space() : "") + column(depth) + space();
        return s + "]";
    }

    std::string colSet(int depth)
    {
        std::vector<std::string> m{member("cols", columns(depth))};
        if (chance(70))
            m.push_back(member("tag", text()));
        return object(m);
    }

    std::string rowSet(int depth)
    {
        std::string rows = "[" + space();
        const int n = below(depth == 0 ? 20 : 6);
        for (int i = 0; i < n; ++i) {
            std::vector<std::string> m;
            if (chance(90))
                m.push_back(member("key", text()));
            for (const char* optional : {"name", "tag"}) {
                if (chance(20))
                    m.push_back(member(optional, text()));
            }
            const int cols = below(10);
            if (cols < 5)
                m.push_back(member("cols", columns(depth + 1)));
            else if (cols < 8)
                m.push_back(member("cols", depth < 5 ? colSet(depth + 1) : "[]"));
            else if (cols == 8)
                m.push_back(member("cols", "null"));
            rows += (i ? "," + space() : "") + object(m) + space();
        }
        std::vector<std::string> m{member("rows", rows + "]")};
        if (chance(70))
            m.push_back(member("tag", text()));
        return object(m);
    }

    std::mt19937 m_rnd;
    bool m_plain = false;
};

struct Outcome
{
    bool ok = false;
    TQXValue value;
    QString error;
};

Outcome fast(const std::string& json)
{
    Outcome o;
    o.ok = QVNJsonData::Parse(QByteArray::fromStdString(json), o.value, o.error);
    return o;
}

Outcome reference(const std::string& json)
{
    Outcome o;
    o.ok = Reference().parse(QByteArray::fromStdString(json), o.value);
    return o;
}

} // namespace

TEST(QVNJsonDataRandom, ReadsRandomDocumentsLikeTheReference)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        Generator g(seed);
        const std::string json = g.document(seed % 2 == 0);
        const Outcome ours = fast(json), theirs = reference(json);
        ASSERT_TRUE(theirs.ok) << "the generator wrote a document the reference refuses, seed " << seed;
        ASSERT_TRUE(ours.ok) << "seed " << seed << ": " << ours.error.toStdString() << "\n" << json;
        const std::string d = difference(ours.value, theirs.value, "$");
        ASSERT_TRUE(d.empty()) << "seed " << seed << ": " << d << "\n" << json;
    }
}

TEST(QVNJsonDataRandom, RefusesDamagedDocumentsExactlyWhenTheReferenceDoes)
{
    static const char kInserted[] = "{}[]:,\"\\ 0123456789-.atrunlx";
    int refused = 0;
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        Generator g(seed);
        std::string json = g.document(true);
        const int edits = 1 + g.below(2);
        for (int e = 0; e < edits && !json.empty(); ++e) {
            const size_t at = static_cast<size_t>(g.below(static_cast<int>(json.size())));
            switch (g.below(4)) {
            case 0:
                json.erase(at, 1);
                break;
            case 1:
                json.insert(at, 1, kInserted[g.below(sizeof(kInserted) - 1)]);
                break;
            case 2:
                json[at] = kInserted[g.below(sizeof(kInserted) - 1)];
                break;
            default:
                json.resize(at);
            }
        }
        const Outcome ours = fast(json), theirs = reference(json);
        ASSERT_EQ(ours.ok, theirs.ok) << "seed " << seed << ": " << ours.error.toStdString() << "\n" << json;
        if (ours.ok) {
            const std::string d = difference(ours.value, theirs.value, "$");
            ASSERT_TRUE(d.empty()) << "seed " << seed << ": " << d << "\n" << json;
            continue;
        }
        ++refused;
        EXPECT_TRUE(ours.value.isEmpty());
        EXPECT_FALSE(ours.error.isEmpty());
        EXPECT_FALSE(ours.error.contains(QLatin1Char('\n'))) << ours.error.toStdString();
        EXPECT_TRUE(ours.error.startsWith(QLatin1String("malformed JSON")) || ours.error.startsWith(QLatin1Char('$')))
            << ours.error.toStdString();
    }
    EXPECT_GT(refused, 500); // the damage really reaches the error paths
}

TEST(QVNJsonDataRandom, ManyDistinctTextsAndDeepNesting)
{
    // More distinct short texts than are shared, each used twice, and texts at every length
    // around the limit of shared ones: the same as the reference, however each was stored.
    std::string json = "{\"tag\": \"T\", \"rows\": [";
    for (int i = 0; i < 12000; ++i) {
        const std::string t = "\"text_" + std::to_string(i) + std::string(static_cast<size_t>(i % 40), 'x') + "\"";
        json += (i ? ",\n" : "") + std::string("{\"key\": ") + t + ", \"cols\": [{\"key\": \"K\", \"value\": " + t +
                "}, {\"key\": \"表\", \"value\": \"" + std::to_string(i % 300) + "\"}]}";
    }
    json += "]}";
    const Outcome ours = fast(json), theirs = reference(json);
    ASSERT_TRUE(ours.ok) << ours.error.toStdString();
    ASSERT_TRUE(theirs.ok);
    EXPECT_EQ(difference(ours.value, theirs.value, "$"), std::string());

    Generator g(7);
    const Outcome deep = fast(g.deepDocument(300)), deepRef = reference(g.deepDocument(300));
    ASSERT_TRUE(deep.ok) << deep.error.toStdString();
    ASSERT_TRUE(deepRef.ok);
    EXPECT_EQ(difference(deep.value, deepRef.value, "$"), std::string());
    // The reader's own bound: 512 nested sets are read, one more is refused.
    EXPECT_TRUE(fast(g.deepDocument(512)).ok);
    EXPECT_TRUE(fast(g.deepDocument(513)).error.contains(QLatin1String("too deep")));
}
