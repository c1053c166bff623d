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
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// Reads the format straight from the bytes into the sets, without building a JSON document first
// (a model's data set runs to megabytes). Strict JSON (RFC 8259): UTF-8, no comments, no trailing
// commas. Members the format does not know are skipped; the last of two equal members wins.
// The first failure stops the reader and leaves one line in m_error.
class Reader
{
public:
    Reader(const QByteArray& json)
        : m_begin(json.constData()), m_p(json.constData()), m_end(json.constData() + json.size())
    {
    }

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
    static constexpr size_t kSharedMax = 32;     // longest text shared
    static constexpr size_t kSharedCount = 8192; // most distinct texts remembered

    // ---- structure of the format ----

    /// A row set object ({"tag", "rows"}) or a column set object ({"tag", "cols"}).
    bool set(TQXValue& out)
    {
        if (++m_depth > kMaxDepth)
            return syntax("nesting too deep");
        QString tag;
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
            rows->SetTag(tag);
            out = TQXValue(rows);
        } else if (cols) {
            cols->SetTag(tag);
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
        return array([&] {
            if (!peek('{'))
                return fail(QStringLiteral("a column must be an object"));
            QString key, name, type, tag;
            TQXValue value;
            if (!object([&](std::string_view member) {
                    if (member == "key")
                        return text(key);
                    if (member == "value")
                        return this->value(value);
                    if (member == "name")
                        return text(name);
                    if (member == "type")
                        return text(type);
                    if (member == "tag")
                        return text(tag);
                    return skipValue();
                }))
                return false;
            cols.Add(value, key, name, type, tag); // a duplicate key is refused, as the sets do
            return true;
        });
    }

    bool rowArray(TQXRows& rows)
    {
        if (!peek('['))
            return fail(QStringLiteral("\"rows\" must be an array of rows"));
        return array([&] {
            if (!peek('{'))
                return fail(QStringLiteral("a row must be an object"));
            QString key, name, tag;
            TQXColsPtr cols = TQXCols::Create();
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
            rows.Add(cols, key, name, tag);
            return true;
        });
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
    bool value(TQXValue& out)
    {
        space();
        if (m_p >= m_end)
            return syntax("unexpected end of the document");
        switch (*m_p) {
        case '"': {
            QString s;
            if (!sharedString(s))
                return false;
            out = TQXValue(std::move(s));
            return true;
        }
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
    bool text(QString& out)
    {
        space();
        if (literal("null")) {
            out.clear();
            return true;
        }
        if (!peek('"'))
            return fail(QStringLiteral("must be a string"));
        return sharedString(out);
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
            if (!plainString(name)) {
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
        m_path.push_back(PathPart{std::string(member), index});
        const bool ok = read();
        m_path.pop_back();
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
    /// nothing consumed, when it holds an escape or a control character.
    bool plainString(std::string_view& out)
    {
        const char* start = m_p + 1;
        const void* quote = std::memchr(start, '"', static_cast<size_t>(m_end - start));
        if (!quote)
            return false;
        const char* end = static_cast<const char*>(quote);
        for (const char* q = start; q < end; ++q) {
            if (*q == '\\' || static_cast<unsigned char>(*q) < 0x20)
                return false;
        }
        out = std::string_view(start, static_cast<size_t>(end - start));
        m_p = end + 1;
        return true;
    }

    /// A string whose text is likely to recur (keys, names, short values): equal texts share one
    /// QString, which spares an allocation and a conversion per column.
    bool sharedString(QString& out)
    {
        std::string_view bytes;
        if (!plainString(bytes))
            return string(out);
        if (bytes.size() > kSharedMax) {
            out = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            return true;
        }
        const auto hit = m_shared.find(bytes);
        if (hit != m_shared.end()) {
            out = hit->second;
            return true;
        }
        out = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        if (m_shared.size() < kSharedCount)
            m_shared.emplace(bytes, out);
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
            out = QString::fromUtf8(start, m_p - start);
            ++m_p;
            return true;
        }
        QByteArray bytes(start, m_p - start);
        while (true) {
            if (m_p >= m_end)
                return syntax("unterminated string");
            const unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                ++m_p;
                out = QString::fromUtf8(bytes);
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
                    if (low >= 0xDC00 && low <= 0xDFFF)
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    else
                        bytes.append(QString(QChar(0xFFFD)).toUtf8()), cp = low;
                }
                if (cp >= 0xD800 && cp <= 0xDFFF)
                    cp = 0xFFFD; // a lone surrogate
                bytes.append(QString::fromUcs4(&cp, 1).toUtf8());
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
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
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

    /// A structural error, reported with the JSON path of the element ("$.rows[3].cols[0].value").
    bool fail(const QString& what)
    {
        QString path = QStringLiteral("$");
        for (const PathPart& part : m_path)
            path +=
                part.index < 0 ? u'.' + QString::fromStdString(part.member) : u'[' + QString::number(part.index) + u']';
        m_error = QStringLiteral("%1: %2").arg(path, what);
        return false;
    }

    struct PathPart
    {
        std::string member; // an object member (UTF-8), or
        qsizetype index;    // an array element (member empty)
    };

    const char* m_begin;
    const char* m_p;
    const char* m_end;
    int m_depth = 0;
    std::vector<PathPart> m_path;
    std::unordered_map<std::string_view, QString> m_shared; // views into the document
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
    const QByteArray body = json.startsWith("\xEF\xBB\xBF") ? json.mid(3) : json;
    if (!QUtf8StringView(body).isValidUtf8()) {
        error = QStringLiteral("malformed JSON: the document is not valid UTF-8");
        return false;
    }
    Reader reader(body);
    TQXValue value;
    if (!reader.document(value)) {
        error = reader.error();
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
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    // Read one byte past the limit, so an endless source (a device, a pipe) or a huge file is
    // refused after a bounded read instead of exhausting memory.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
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
