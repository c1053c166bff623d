#include "QVNJsonData.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUtf8StringView>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
/// The positions (bit i for byte i) among 16 bytes that are not JSON whitespace.
inline unsigned notSpaceMask(const char* p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i space =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                     _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
    return ~static_cast<unsigned>(_mm_movemask_epi8(space)) & 0xFFFFu;
}

/// Among 16 bytes of a string: the bytes that end its plain run ('"', '\\' or a control
/// character) in `stop`, the bytes outside ASCII in `high`.
inline void stringMasks(const char* p, unsigned& stop, unsigned& high)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    stop = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(ends, control)));
    high = static_cast<unsigned>(_mm_movemask_epi8(v));
}
#endif

bool validUtf8(const char* from, const char* to)
{
    return QUtf8StringView(from, to - from).isValidUtf8();
}

/// The text of valid UTF-8 bytes. QString::fromUtf8 takes a leading U+FEFF for a byte-order mark
/// and drops it; inside a JSON string it is a character like any other and is kept.
QString utf8Text(const char* bytes, qsizetype size)
{
    qsizetype marks = 0;
    while (size - 3 * marks >= 3 && std::memcmp(bytes + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(bytes, size);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(bytes + 3 * marks, size - 3 * marks);
}

/// Appends a code point (not a surrogate) as UTF-8.
void appendUtf8(QByteArray& out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.append(static_cast<char>(0xC0 | (cp >> 6)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(static_cast<char>(0xE0 | (cp >> 12)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (cp >> 18)));
        out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

/**
 * Equal texts of a document share one value: a model's data repeats a few dozen keys and many
 * short values hundreds of thousands of times, and sharing spares an allocation and a conversion
 * for each. Open addressing on the bytes as written; only short texts, and only so many of them.
 * A shared value stays where it is while the reader runs, so callers keep pointers to it.
 */
class SharedTexts
{
public:
    static constexpr size_t kMaxBytes = 32;   // longest text shared
    static constexpr size_t kMaxCount = 8192; // most distinct texts remembered

    SharedTexts() { m_entries.reserve(kMaxCount); }

    /// The text value of these bytes (valid UTF-8 without escapes): a shared one, or one made in
    /// `store` for a text too long or once the table is full. `guess`, when given, names the
    /// entry the text at this place had last time (0: none), tried first and updated.
    const TQXValue& get(const char* bytes, size_t size, bool ascii, TQXValue& store, uint32_t* guess)
    {
        if (size > kMaxBytes) {
            store = TQXValue(make(bytes, size, ascii));
            return store;
        }
        if (guess && *guess) {
            const Entry& e = m_entries[*guess - 1];
            if (e.size == size && same(e.bytes, bytes, size))
                return e.value;
        }
        const uint64_t h = hash(bytes, size);
        const uint32_t tag = static_cast<uint32_t>(h >> 32) | 1u; // 0 marks a free slot
        size_t i = static_cast<size_t>(h) & m_mask;
        for (; m_slots[i].tag; i = (i + 1) & m_mask) {
            if (m_slots[i].tag != tag)
                continue;
            const Entry& e = m_entries[m_slots[i].entry];
            if (e.size == size && same(e.bytes, bytes, size)) {
                if (guess)
                    *guess = m_slots[i].entry + 1;
                return e.value;
            }
        }
        if (m_entries.size() >= kMaxCount) {
            store = TQXValue(make(bytes, size, ascii));
            return store;
        }
        Entry& e = m_entries.emplace_back();
        std::memcpy(e.bytes, bytes, size);
        e.size = static_cast<uint32_t>(size);
        e.hash = h;
        e.value = TQXValue(make(bytes, size, ascii));
        m_slots[i] = Slot{tag, static_cast<uint32_t>(m_entries.size() - 1)};
        if (guess)
            *guess = static_cast<uint32_t>(m_entries.size());
        if (m_entries.size() * 2 > m_slots.size())
            grow();
        return e.value;
    }

private:
    struct Slot
    {
        uint32_t tag = 0; // high bits of the hash, never 0 in a used slot
        uint32_t entry = 0;
    };

    struct Entry
    {
        char bytes[kMaxBytes];
        uint32_t size = 0;
        uint64_t hash = 0;
        TQXValue value;
    };

    static bool same(const char* a, const char* b, size_t n)
    {
        for (; n >= 8; n -= 8, a += 8, b += 8) {
            uint64_t x, y;
            std::memcpy(&x, a, 8);
            std::memcpy(&y, b, 8);
            if (x != y)
                return false;
        }
        for (size_t k = 0; k < n; ++k) {
            if (a[k] != b[k])
                return false;
        }
        return true;
    }

    static QString make(const char* bytes, size_t size, bool ascii)
    {
        return ascii ? QString::fromLatin1(bytes, static_cast<qsizetype>(size))
                     : utf8Text(bytes, static_cast<qsizetype>(size));
    }

    static uint64_t hash(const char* p, size_t n)
    {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
        while (n >= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            h = (h ^ w) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 29;
            p += 8;
            n -= 8;
        }
        uint64_t w = 0;
        for (size_t k = 0; k < n; ++k)
            w |= static_cast<uint64_t>(static_cast<unsigned char>(p[k])) << (8 * k);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 32);
    }

    void grow()
    {
        std::vector<Slot> bigger(m_slots.size() * 2);
        m_slots.swap(bigger);
        m_mask = m_slots.size() - 1;
        for (uint32_t k = 0; k < m_entries.size(); ++k) {
            const uint64_t h = m_entries[k].hash;
            size_t i = static_cast<size_t>(h) & m_mask;
            while (m_slots[i].tag)
                i = (i + 1) & m_mask;
            m_slots[i] = Slot{static_cast<uint32_t>(h >> 32) | 1u, k};
        }
    }

    std::vector<Slot> m_slots = std::vector<Slot>(1024);
    size_t m_mask = 1023;
    std::vector<Entry> m_entries; // reserved in full: entries never move
};

const QString kNoText;
const TQXValue kNoValue;

/// A text member as read: a shared text, or one made in `store` (so reading it copies nothing).
struct TextRead
{
    TextRead() = default;
    TextRead(const TextRead&) = delete;
    TextRead& operator=(const TextRead&) = delete;
    const QString* text = &kNoText;
    TQXValue store;
};

/// A column's value as read: a shared text, or a value made in `store`.
struct ValueRead
{
    ValueRead() = default;
    ValueRead(const ValueRead&) = delete;
    ValueRead& operator=(const ValueRead&) = delete;
    const TQXValue* value = &kNoValue;
    TQXValue store;
};

// Reads the format straight from the bytes into the sets, without building a JSON document first
// (a model's data set runs to megabytes). Strict JSON (RFC 8259): UTF-8, no comments, no trailing
// commas. Members the format does not know are skipped; the last of two equal members wins.
// The first failure stops the reader and leaves one line in m_error.
class Reader
{
public:
    Reader(const char* begin, const char* end) : m_begin(begin), m_p(begin), m_end(end), m_path(64) {}

    bool document(TQXValue& out)
    {
        space();
        if (m_p >= m_end || *m_p != '{')
            return m_p >= m_end ? syntax("the document is empty")
                                : fail(QStringLiteral("the top level must be a row set or column set object"));
        if (!set(out))
            return false;
        space();
        if (m_p != m_end)
            return syntax("unexpected text after the document");
        return true;
    }

    const QString& error() const { return m_error; }

private:
    static constexpr int kMaxDepth = 512;
    static constexpr int kHintDepths = 64;        // nesting levels whose set sizes are remembered
    static constexpr qsizetype kMaxHint = 256;    // largest size reserved ahead
    static constexpr qsizetype kGuessPlaces = 64; // columns of a set whose texts are guessed

    // ---- structure of the format ----

    /// A row set object ({"tag", "rows"}) or a column set object ({"tag", "cols"}).
    bool set(TQXValue& out)
    {
        if (++m_depth > kMaxDepth)
            return syntax("nesting too deep");
        TextRead tag;
        TQXRowsPtr rows;
        TQXColsPtr cols;
        const bool ok = object([&](std::string_view member) {
            if (member == "tag")
                return text(tag);
            if (member == "rows") {
                rows = TQXRows::Create();
                return rowArray(*rows);
            }
            if (member == "cols") {
                cols = TQXCols::Create();
                return colArray(*cols);
            }
            return skipValue();
        });
        --m_depth;
        if (!ok)
            return false;
        if (rows && cols)
            return fail(QStringLiteral("a set object has either \"rows\" or \"cols\", not both"));
        if (rows) {
            rows->SetTag(*tag.text);
            out = TQXValue(rows);
        } else if (cols) {
            cols->SetTag(*tag.text);
            out = TQXValue(cols);
        } else {
            return fail(QStringLiteral("a set object needs \"rows\" (row set) or \"cols\" (column set)"));
        }
        return true;
    }

    bool colArray(TQXCols& cols)
    {
        if (!peek('['))
            return fail(QStringLiteral("\"cols\" must be an array of columns"));
        // Sibling sets at one depth tend to be alike (every table has the same fields): reserve
        // what the previous one held, which spares growing each set step by step.
        qsizetype* hint = m_depth < kHintDepths ? &m_colsHint[m_depth] : nullptr;
        if (hint && *hint > 0)
            cols.Reserve(*hint);
        qsizetype count = 0;
        const bool ok = array([&] {
            if (!peek('{'))
                return fail(QStringLiteral("a column must be an object"));
            if (m_end - m_p > 640)
                __builtin_prefetch(m_p + 640); // a few columns ahead: reading runs at memory speed
            uint32_t* guess = hint && count < kGuessPlaces ? m_guess[m_depth][count] : nullptr;
            if (plainColumn(cols, guess)) {
                ++count;
                return true;
            }
            TextRead key, name, type, tag;
            ValueRead value;
            if (!object([&](std::string_view member) {
                    if (member == "key")
                        return text(key, guess);
                    if (member == "value")
                        return this->value(value, guess ? guess + 1 : nullptr);
                    if (member == "name")
                        return text(name);
                    if (member == "type")
                        return text(type);
                    if (member == "tag")
                        return text(tag);
                    return skipValue();
                }))
                return false;
            // A duplicate key is refused, as the sets do.
            cols.Add(*value.value, *key.text, *name.text, *type.text, *tag.text);
            ++count;
            return true;
        });
        if (hint)
            *hint = std::min(count, kMaxHint);
        return ok;
    }

    /// The common column, {"key": "K", "value": "V"} with plain texts, read in one step. False,
    /// with nothing read or changed, for any other column, which then takes the general way (and
    /// gets its errors there). Sibling sets tend to hold the same keys, and often the same values,
    /// in the same places: `guess` holds the texts read there last time.
    bool plainColumn(TQXCols& cols, uint32_t* guess)
    {
        const char* p = m_p + 1; // after '{'
        auto word = [&](const char* w, size_t n) {
            p = skipSpace(p);
            if (static_cast<size_t>(m_end - p) < n || std::memcmp(p, w, n) != 0)
                return false;
            p += n;
            return true;
        };
        auto text = [&](std::string_view& out, bool& ascii) {
            p = skipSpace(p);
            if (p >= m_end || *p != '"')
                return false;
            p = plainEnd(p, out, ascii);
            return p != nullptr;
        };
        std::string_view key, value;
        bool keyAscii = true, valueAscii = true;
        if (!word("\"key\"", 5) || !word(":", 1) || !text(key, keyAscii) || !word(",", 1) || !word("\"value\"", 7) ||
            !word(":", 1) || !text(value, valueAscii) || !word("}", 1))
            return false;
        TQXValue keyStore, valueStore;
        const TQXValue& k = m_shared.get(key.data(), key.size(), keyAscii, keyStore, guess);
        const TQXValue& v =
            m_shared.get(value.data(), value.size(), valueAscii, valueStore, guess ? guess + 1 : nullptr);
        cols.Add(v, *k.textPtr(), kNoText, kNoText, kNoText); // a duplicate key is refused, as the sets do
        m_p = p;
        return true;
    }

    bool rowArray(TQXRows& rows)
    {
        if (!peek('['))
            return fail(QStringLiteral("\"rows\" must be an array of rows"));
        qsizetype* hint = m_depth < kHintDepths ? &m_rowsHint[m_depth] : nullptr;
        if (hint && *hint > 0)
            rows.Reserve(*hint);
        qsizetype count = 0;
        const bool ok = array([&] {
            if (!peek('{'))
                return fail(QStringLiteral("a row must be an object"));
            TextRead key, name, tag;
            TQXColsPtr cols; // made when the row has no "cols"
            if (!object([&](std::string_view member) {
                    if (member == "key")
                        return text(key);
                    if (member == "name")
                        return text(name);
                    if (member == "tag")
                        return text(tag);
                    if (member == "cols")
                        return rowCols(cols);
                    return skipValue();
                }))
                return false;
            rows.Add(cols ? cols : TQXCols::Create(), *key.text, *name.text, *tag.text);
            ++count;
            return true;
        });
        if (hint)
            *hint = std::min(count, kMaxHint);
        return ok;
    }

    /// A row's columns: a column set object or a bare array of columns (null: none).
    bool rowCols(TQXColsPtr& cols)
    {
        cols = TQXCols::Create();
        if (peek('['))
            return colArray(*cols);
        if (literal("null"))
            return true;
        if (!peek('{'))
            return fail(QStringLiteral("a row's \"cols\" must be a column set object or an array of columns"));
        TQXValue v;
        if (!set(v))
            return false;
        if (v.type() != TQXValue::Type::Cols)
            return fail(QStringLiteral("a row's \"cols\" must be a column set object or an array of columns"));
        cols = v.cols();
        return true;
    }

    /// A column's value: text, number, true/false, null, or a nested set object.
    bool value(ValueRead& read, uint32_t* guess = nullptr)
    {
        space();
        if (m_p >= m_end)
            return syntax("unexpected end of the document");
        if (*m_p == '"')
            return sharedString(read.store, read.value, guess);
        read.value = &read.store;
        TQXValue& out = read.store;
        switch (*m_p) {
        case '{':
            return set(out);
        case '[':
            return fail(QStringLiteral("a value must be a string, number, boolean, null or a set object, not "
                                       "an array"));
        case 't':
            if (!literal("true"))
                return syntax("invalid literal");
            out = TQXValue(true);
            return true;
        case 'f':
            if (!literal("false"))
                return syntax("invalid literal");
            out = TQXValue(false);
            return true;
        case 'n':
            if (!literal("null"))
                return syntax("invalid literal");
            out = TQXValue();
            return true;
        default: {
            double d = 0.0;
            if (!number(d))
                return false;
            if (std::trunc(d) == d && d >= std::numeric_limits<std::int32_t>::min() &&
                d <= std::numeric_limits<std::int32_t>::max())
                out = TQXValue(static_cast<std::int64_t>(d));
            else
                out = TQXValue(d);
            return true;
        }
        }
    }

    /// An optional text member: null reads as empty, anything but a string is an error.
    bool text(TextRead& read, uint32_t* guess = nullptr)
    {
        space();
        if (literal("null")) {
            read.text = &kNoText;
            return true;
        }
        if (!peek('"'))
            return fail(QStringLiteral("must be a string"));
        const TQXValue* value = nullptr;
        if (!sharedString(read.store, value, guess))
            return false;
        read.text = value->textPtr();
        return true;
    }

    // ---- JSON syntax ----

    template <typename Member> bool object(Member member)
    {
        if (openList('}'))
            return true;
        std::string escaped;
        while (true) {
            space();
            if (!peek('"'))
                return syntax("expected a member name");
            // A member name is compared as the bytes it is written in; only a name with escapes is
            // decoded first.
            std::string_view name;
            bool ascii = true;
            if (!plainString(name, ascii)) {
                QString decoded;
                if (!string(decoded))
                    return false;
                escaped = decoded.toStdString();
                name = escaped;
            }
            space();
            if (m_p >= m_end || *m_p != ':')
                return syntax("expected ':'");
            ++m_p;
            if (!element(name, -1, [&] { return member(name); }))
                return false;
            const int next = nextInList('}', "expected ',' or '}'");
            if (next <= 0)
                return next == 0;
        }
    }

    template <typename Element> bool array(Element each)
    {
        if (openList(']'))
            return true;
        for (qsizetype i = 0;; ++i) {
            if (!element(std::string_view(), i, each))
                return false;
            const int next = nextInList(']', "expected ',' or ']'");
            if (next <= 0)
                return next == 0;
        }
    }

    /// Steps over the opening bracket; true (with the closing one consumed too) when the list is empty.
    bool openList(char close)
    {
        space();
        ++m_p;
        space();
        if (m_p < m_end && *m_p == close) {
            ++m_p;
            return true;
        }
        return false;
    }

    /// One member or element, with its place named in the path of any error it reports.
    template <typename Read> bool element(std::string_view member, qsizetype index, Read read)
    {
        space();
        if (!valueStart())
            return syntax("expected a value");
        if (m_pathSize == m_path.size())
            m_path.resize(m_path.size() * 2);
        m_path[m_pathSize++] = PathPart{member, index};
        const bool ok = read();
        --m_pathSize;
        return ok;
    }

    /// After a member or element: 1 when ',' asks for the next, 0 when `close` ends the list, -1 on
    /// a syntax error (reported).
    int nextInList(char close, const char* expected)
    {
        space();
        if (m_p < m_end && *m_p == ',') {
            ++m_p;
            return 1;
        }
        if (m_p < m_end && *m_p == close) {
            ++m_p;
            return 0;
        }
        syntax(expected);
        return -1;
    }

    bool skipValue()
    {
        space();
        if (m_p >= m_end)
            return syntax("unexpected end of the document");
        if (++m_depth > kMaxDepth)
            return syntax("nesting too deep");
        bool ok = true;
        switch (*m_p) {
        case '"': {
            QString s;
            ok = string(s);
            break;
        }
        case '{':
            ok = object([this](std::string_view) { return skipValue(); });
            break;
        case '[':
            ok = array([this] { return skipValue(); });
            break;
        case 't':
            ok = literal("true") || syntax("invalid literal");
            break;
        case 'f':
            ok = literal("false") || syntax("invalid literal");
            break;
        case 'n':
            ok = literal("null") || syntax("invalid literal");
            break;
        default: {
            double d = 0.0;
            ok = number(d);
        }
        }
        --m_depth;
        return ok;
    }

    /// A string without escapes, as the view of its bytes (the opening quote at m_p); false, with
    /// nothing consumed, when it holds an escape or a control character or is not valid UTF-8
    /// (string() then reports it). `ascii` tells whether all its bytes are ASCII.
    bool plainString(std::string_view& out, bool& ascii)
    {
        const char* const end = plainEnd(m_p, out, ascii);
        if (!end)
            return false;
        m_p = end;
        return true;
    }

    /// What plainString reads, for the string whose opening quote is at `quote`: the position
    /// after its closing quote, or nullptr.
    const char* plainEnd(const char* quote, std::string_view& out, bool& ascii) const
    {
        const char* const start = quote + 1;
        const char* q = start;
        unsigned high = 0;
#if defined(__SSE2__)
        while (m_end - q >= 16) {
            unsigned stop = 0, bits = 0;
            stringMasks(q, stop, bits);
            if (stop) {
                const int at = __builtin_ctz(stop);
                high |= bits & ((1u << at) - 1);
                q += at;
                break;
            }
            high |= bits;
            q += 16;
        }
#endif
        for (; q < m_end; ++q) {
            const unsigned char c = static_cast<unsigned char>(*q);
            if (c == '"' || c == '\\' || c < 0x20)
                break;
            high |= c & 0x80;
        }
        if (q >= m_end || *q != '"')
            return nullptr;
        ascii = high == 0;
        if (!ascii && !validUtf8(start, q))
            return nullptr;
        out = std::string_view(start, static_cast<size_t>(q - start));
        return q + 1;
    }

    /// A string as a text value: a shared one when the text is plain and short (keys, names and
    /// short values recur), otherwise one made in `store`.
    bool sharedString(TQXValue& store, const TQXValue*& out, uint32_t* guess = nullptr)
    {
        std::string_view bytes;
        bool ascii = true;
        if (plainString(bytes, ascii)) {
            out = &m_shared.get(bytes.data(), bytes.size(), ascii, store, guess);
            return true;
        }
        QString text;
        if (!string(text))
            return false;
        store = TQXValue(std::move(text));
        out = &store;
        return true;
    }

    bool string(QString& out)
    {
        ++m_p; // '"'
        const char* start = m_p;
        // Fast path: no escapes.
        while (m_p < m_end && *m_p != '"' && *m_p != '\\' && static_cast<unsigned char>(*m_p) >= 0x20)
            ++m_p;
        if (m_p < m_end && *m_p == '"') {
            if (!validUtf8(start, m_p))
                return invalidUtf8();
            out = utf8Text(start, m_p - start);
            ++m_p;
            return true;
        }
        QByteArray bytes(start, m_p - start);
        while (true) {
            if (m_p >= m_end)
                return syntax("unterminated string");
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                // Escapes are ASCII, so the string's own bytes show whether its text is valid UTF-8.
                if (!validUtf8(start, m_p))
                    return invalidUtf8();
                ++m_p;
                out = utf8Text(bytes.constData(), bytes.size());
                return true;
            }
            if (c < 0x20)
                return syntax("control character in a string");
            if (c != '\\') {
                bytes.append(static_cast<char>(c));
                ++m_p;
                continue;
            }
            if (++m_p >= m_end)
                return syntax("unterminated string");
            const char e = *m_p++;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                bytes.append(e);
                break;
            case 'b':
                bytes.append('\b');
                break;
            case 'f':
                bytes.append('\f');
                break;
            case 'n':
                bytes.append('\n');
                break;
            case 'r':
                bytes.append('\r');
                break;
            case 't':
                bytes.append('\t');
                break;
            case 'u': {
                char32_t cp = 0;
                if (!hex4(cp))
                    return syntax("invalid \\u escape");
                if (cp >= 0xD800 && cp <= 0xDBFF && m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u') {
                    m_p += 2;
                    char32_t low = 0;
                    if (!hex4(low))
                        return syntax("invalid \\u escape");
                    if (low < 0xDC00 || low > 0xDFFF) {
                        // A lone high surrogate; the escape after it is read on its own (it may
                        // begin a pair itself).
                        appendUtf8(bytes, 0xFFFD);
                        m_p -= 6;
                        break;
                    }
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                if (cp >= 0xD800 && cp <= 0xDFFF)
                    cp = 0xFFFD; // a lone surrogate
                appendUtf8(bytes, cp);
                break;
            }
            default:
                return syntax("invalid escape in a string");
            }
        }
    }

    bool hex4(char32_t& out)
    {
        if (m_end - m_p < 4)
            return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = *m_p++;
            int v = -1;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            if (v < 0)
                return false;
            out = out * 16 + static_cast<char32_t>(v);
        }
        return true;
    }

    bool number(double& out)
    {
        const char* start = m_p;
        auto digit = [this] { return m_p < m_end && *m_p >= '0' && *m_p <= '9'; };
        if (m_p < m_end && *m_p == '-')
            ++m_p;
        if (!digit())
            return syntax("invalid value");
        if (*m_p == '0')
            ++m_p;
        else
            while (digit())
                ++m_p;
        if (m_p < m_end && *m_p == '.') {
            ++m_p;
            if (!digit())
                return syntax("invalid number");
            while (digit())
                ++m_p;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (!digit())
                return syntax("invalid number");
            while (digit())
                ++m_p;
        }
        const auto res = std::from_chars(start, m_p, out);
        if (res.ec == std::errc::result_out_of_range || !std::isfinite(out))
            return syntax("number out of range");
        return res.ec == std::errc() || syntax("invalid number");
    }

    bool literal(const char* word)
    {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0)
            return false;
        m_p += n;
        return true;
    }

    /// Whether a JSON value can start here (the value itself is checked by whoever reads it).
    bool valueStart()
    {
        space();
        if (m_p >= m_end)
            return false;
        const char c = *m_p;
        return c == '"' || c == '{' || c == '[' || c == 't' || c == 'f' || c == 'n' || c == '-' ||
               (c >= '0' && c <= '9');
    }

    bool peek(char c)
    {
        space();
        return m_p < m_end && *m_p == c;
    }

    void space()
    {
        m_p = skipSpace(m_p);
    }

    /// The position after the white space at p.
    const char* skipSpace(const char* p) const
    {
        if ((p < m_end) && (static_cast<unsigned char>(*p) > ' '))
            return p; // the common case: nothing to skip
#if defined(__SSE2__)
        while (m_end - p >= 16) {
            const unsigned rest = notSpaceMask(p);
            if (rest)
                return p + __builtin_ctz(rest);
            p += 16;
        }
#endif
        while (p < m_end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t'))
            ++p;
        return p;
    }

    /// A syntax error, reported with its line and column.
    bool syntax(const char* what)
    {
        const char* at = std::min(m_p, m_end);
        qsizetype line = 1;
        const char* lineStart = m_begin;
        for (const char* q = m_begin; q < at; ++q) {
            if (*q == '\n') {
                ++line;
                lineStart = q + 1;
            }
        }
        m_error = QStringLiteral("malformed JSON at line %1, column %2: %3")
                      .arg(line)
                      .arg(at - lineStart + 1)
                      .arg(QLatin1String(what));
        return false;
    }

    /// Text that is not valid UTF-8 (the document is refused as a whole for it).
    bool invalidUtf8()
    {
        m_error = QStringLiteral("malformed JSON: the document is not valid UTF-8");
        return false;
    }

    /// A structural error, reported with the JSON path of the element ("$.rows[3].cols[0].value").
    bool fail(const QString& what)
    {
        QString path = QStringLiteral("$");
        for (size_t i = 0; i < m_pathSize; ++i) {
            const PathPart& part = m_path[i];
            path += part.index < 0
                        ? u'.' + QString::fromUtf8(part.member.data(), static_cast<qsizetype>(part.member.size()))
                        : u'[' + QString::number(part.index) + u']';
        }
        m_error = QStringLiteral("%1: %2").arg(path, what);
        return false;
    }

    struct PathPart
    {
        std::string_view member; // an object member (UTF-8, valid while it is read), or
        qsizetype index;         // an array element (member empty)
    };

    const char* m_begin;
    const char* m_p;
    const char* m_end;
    int m_depth = 0;
    std::vector<PathPart> m_path; // the elements being read, outermost first
    size_t m_pathSize = 0;
    SharedTexts m_shared;
    qsizetype m_colsHint[kHintDepths] = {};
    uint32_t m_guess[kHintDepths][kGuessPlaces][2] = {}; // shared text last read at a column's key and value
    qsizetype m_rowsHint[kHintDepths] = {};
    QString m_error;
};

// Writes sets as the format's objects. Sets are shared references, so a set may (directly or not)
// contain itself; the sets on the current path are remembered and such a back reference becomes null.
class Writer
{
public:
    QJsonValue value(const TQXValue& v)
    {
        switch (v.type()) {
        case TQXValue::Type::Boolean:
            return v.toBool();
        case TQXValue::Type::Integer:
            return static_cast<qint64>(v.toInteger());
        case TQXValue::Type::Double: {
            const double d = v.toDouble();
            return std::isfinite(d) ? QJsonValue(d) : QJsonValue(QJsonValue::Null);
        }
        case TQXValue::Type::Date:
        case TQXValue::Type::Text:
            return v.ToText();
        case TQXValue::Type::Rows:
            return rows(v.rows());
        case TQXValue::Type::Cols:
            return cols(v.cols());
        default:
            return QJsonValue(QJsonValue::Null);
        }
    }

    QJsonValue rows(const TQXRowsPtr& rows)
    {
        if (!rows || !m_path.insert(rows.get()).second)
            return QJsonValue(QJsonValue::Null);
        QJsonArray a;
        for (const TQXRowPtr& r : *rows) {
            QJsonObject o;
            o.insert(QLatin1String("key"), r->Key());
            putIfAny(o, QStringLiteral("name"), r->Name());
            putIfAny(o, QStringLiteral("tag"), r->Tag());
            o.insert(QLatin1String("cols"), cols(r->Cols()));
            a.append(o);
        }
        m_path.erase(rows.get());
        QJsonObject o;
        o.insert(QLatin1String("tag"), rows->Tag());
        o.insert(QLatin1String("rows"), a);
        return o;
    }

    QJsonValue cols(const TQXColsPtr& cols)
    {
        if (!cols || !m_path.insert(cols.get()).second)
            return QJsonValue(QJsonValue::Null);
        QJsonArray a;
        for (const TQXColPtr& c : *cols) {
            QJsonObject o;
            o.insert(QLatin1String("key"), c->Key());
            o.insert(QLatin1String("value"), value(c->Value()));
            putIfAny(o, QStringLiteral("name"), c->Name());
            putIfAny(o, QStringLiteral("type"), c->DataType());
            putIfAny(o, QStringLiteral("tag"), c->Tag());
            a.append(o);
        }
        m_path.erase(cols.get());
        QJsonObject o;
        o.insert(QLatin1String("tag"), cols->Tag());
        o.insert(QLatin1String("cols"), a);
        return o;
    }

private:
    static void putIfAny(QJsonObject& o, const QString& member, const QString& text)
    {
        if (!text.isEmpty())
            o.insert(member, text);
    }

    std::unordered_set<const void*> m_path;
};

QByteArray toBytes(const QJsonValue& v)
{
    if (v.isObject())
        return QJsonDocument(v.toObject()).toJson(QJsonDocument::Indented);
    return QByteArrayLiteral("null\n");
}

} // namespace

bool QVNJsonData::Parse(const QByteArray& json, TQXValue& result, QString& error)
{
    result = TQXValue();
    error.clear();
    // A UTF-8 byte-order mark, as some editors write one, is not part of the document.
    const char* begin = json.constData();
    const char* const end = begin + json.size();
    if (json.startsWith("\xEF\xBB\xBF"))
        begin += 3;
    // The reader checks the text of every string it meets; everything else it accepts is ASCII,
    // so a document it reads completely is valid UTF-8. When it stops early, text that is not
    // UTF-8 anywhere in the document is the error reported, wherever it is.
    Reader reader(begin, end);
    TQXValue value;
    if (!reader.document(value)) {
        error =
            validUtf8(begin, end) ? reader.error() : QStringLiteral("malformed JSON: the document is not valid UTF-8");
        return false;
    }
    result = std::move(value);
    return true;
}

bool QVNJsonData::ReadFile(const QString& path, TQXValue& result, QString& error)
{
    result = TQXValue();
    QFile file(path);
    if (!file.exists()) {
        error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    // Read up to one byte past the limit, so an endless source (a device, a pipe) or a huge file is
    // refused after a bounded read instead of exhausting memory. A regular file is read with one
    // call into a buffer of its size.
    QByteArray bytes;
    bytes.resize(std::min(std::max(file.size(), qint64(0)), kMaxFileBytes) + 1);
    qint64 have = 0;
    while (true) {
        if (have == bytes.size()) {
            if (have > kMaxFileBytes)
                break;
            bytes.resize(std::min(std::max(have * 2, qint64(1) << 16), kMaxFileBytes + 1));
        }
        const qint64 got = file.read(bytes.data() + have, bytes.size() - have);
        if (got < 0) {
            error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
            return false;
        }
        if (got == 0)
            break;
        have += got;
    }
    bytes.truncate(have);
    if (bytes.size() > kMaxFileBytes) {
        error = QStringLiteral("%1: the data file is larger than %2 MiB, the limit for data files")
                    .arg(path)
                    .arg(kMaxFileBytes >> 20);
        return false;
    }
    if (!Parse(bytes, result, error)) {
        error = path + QStringLiteral(": ") + error;
        return false;
    }
    return true;
}

QByteArray QVNJsonData::Write(const TQXRowsPtr& rows)
{
    Writer w;
    return toBytes(w.rows(rows));
}

QByteArray QVNJsonData::Write(const TQXColsPtr& cols)
{
    Writer w;
    return toBytes(w.cols(cols));
}
