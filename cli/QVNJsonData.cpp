#include "QVNJsonData.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace {

// Builds the sets from the parsed document; the first failure stops the walk and leaves its line
// in m_error with the JSON path of the offending element.
class Reader
{
public:
    bool value(const QJsonValue& v, const QString& path, TQXValue& out)
    {
        switch (v.type()) {
        case QJsonValue::Null:
        case QJsonValue::Undefined:
            out = TQXValue();
            return true;
        case QJsonValue::Bool:
            out = TQXValue(v.toBool());
            return true;
        case QJsonValue::String:
            out = TQXValue(v.toString());
            return true;
        case QJsonValue::Double: {
            const double d = v.toDouble();
            if (std::trunc(d) == d && d >= std::numeric_limits<std::int32_t>::min() &&
                d <= std::numeric_limits<std::int32_t>::max())
                out = TQXValue(static_cast<std::int64_t>(d));
            else
                out = TQXValue(d);
            return true;
        }
        case QJsonValue::Object:
            return set(v.toObject(), path, out);
        case QJsonValue::Array:
            return fail(path, QStringLiteral("a value must be a string, number, boolean, null or a set object, "
                                             "not an array"));
        }
        return fail(path, QStringLiteral("unsupported value"));
    }

    /// A row set object ("rows") or a column set object ("cols").
    bool set(const QJsonObject& o, const QString& path, TQXValue& out)
    {
        const bool hasRows = o.contains(QLatin1String("rows"));
        const bool hasCols = o.contains(QLatin1String("cols"));
        if (hasRows && hasCols)
            return fail(path, QStringLiteral("a set object has either \"rows\" or \"cols\", not both"));
        QString tag;
        if (!text(o, QStringLiteral("tag"), path, tag))
            return false;
        if (hasRows) {
            auto rows = TQXRows::Create();
            rows->SetTag(tag);
            if (!rowArray(o.value(QLatin1String("rows")), path + QStringLiteral(".rows"), *rows))
                return false;
            out = TQXValue(rows);
            return true;
        }
        if (hasCols) {
            auto cols = TQXCols::Create();
            cols->SetTag(tag);
            if (!colArray(o.value(QLatin1String("cols")), path + QStringLiteral(".cols"), *cols))
                return false;
            out = TQXValue(cols);
            return true;
        }
        return fail(path, QStringLiteral("a set object needs \"rows\" (row set) or \"cols\" (column set)"));
    }

    const QString& error() const { return m_error; }

private:
    bool colArray(const QJsonValue& v, const QString& path, TQXCols& cols)
    {
        if (!v.isArray())
            return fail(path, QStringLiteral("\"cols\" must be an array of columns"));
        const QJsonArray a = v.toArray();
        cols.Reserve(a.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString p = path + QStringLiteral("[%1]").arg(i);
            const QJsonValue item = a.at(i);
            if (!item.isObject())
                return fail(p, QStringLiteral("a column must be an object"));
            const QJsonObject c = item.toObject();
            QString key, name, type, tag;
            if (!text(c, QStringLiteral("key"), p, key) || !text(c, QStringLiteral("name"), p, name) ||
                !text(c, QStringLiteral("type"), p, type) || !text(c, QStringLiteral("tag"), p, tag))
                return false;
            TQXValue value;
            if (!this->value(c.value(QLatin1String("value")), p + QStringLiteral(".value"), value))
                return false;
            cols.Add(value, key, name, type, tag); // a duplicate key is refused, as the sets do
        }
        return true;
    }

    bool rowArray(const QJsonValue& v, const QString& path, TQXRows& rows)
    {
        if (!v.isArray())
            return fail(path, QStringLiteral("\"rows\" must be an array of rows"));
        const QJsonArray a = v.toArray();
        rows.Reserve(a.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString p = path + QStringLiteral("[%1]").arg(i);
            const QJsonValue item = a.at(i);
            if (!item.isObject())
                return fail(p, QStringLiteral("a row must be an object"));
            const QJsonObject r = item.toObject();
            QString key, name, tag;
            if (!text(r, QStringLiteral("key"), p, key) || !text(r, QStringLiteral("name"), p, name) ||
                !text(r, QStringLiteral("tag"), p, tag))
                return false;
            auto cols = TQXCols::Create();
            const QJsonValue cv = r.value(QLatin1String("cols"));
            if (cv.isObject()) {
                const QJsonObject co = cv.toObject();
                if (co.contains(QLatin1String("rows")) || !co.contains(QLatin1String("cols")))
                    return fail(p + QStringLiteral(".cols"), QStringLiteral("a row's \"cols\" must be a column set "
                                                                            "object or an array of columns"));
                QString colsTag;
                if (!text(co, QStringLiteral("tag"), p + QStringLiteral(".cols"), colsTag))
                    return false;
                cols->SetTag(colsTag);
                if (!colArray(co.value(QLatin1String("cols")), p + QStringLiteral(".cols.cols"), *cols))
                    return false;
            } else if (cv.isArray()) {
                if (!colArray(cv, p + QStringLiteral(".cols"), *cols))
                    return false;
            } else if (!cv.isUndefined() && !cv.isNull()) {
                return fail(p + QStringLiteral(".cols"),
                            QStringLiteral("a row's \"cols\" must be a column set object or an array of columns"));
            }
            rows.Add(cols, key, name, tag);
        }
        return true;
    }

    /// An optional text member: missing or null reads as empty, anything but a string is an error.
    bool text(const QJsonObject& o, const QString& member, const QString& path, QString& out)
    {
        const QJsonValue v = o.value(member);
        if (v.isUndefined() || v.isNull()) {
            out.clear();
            return true;
        }
        if (!v.isString())
            return fail(path, QStringLiteral("\"%1\" must be a string").arg(member));
        out = v.toString();
        return true;
    }

    bool fail(const QString& path, const QString& what)
    {
        m_error = QStringLiteral("%1: %2").arg(path, what);
        return false;
    }

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
    QJsonParseError parseError;
    // A UTF-8 byte-order mark, as some editors write one, is not part of the document.
    const QByteArray body = json.startsWith("\xEF\xBB\xBF") ? json.mid(3) : json;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // Report a line and column: offsets are hard to find in a hand-written file.
        const qsizetype offset = std::clamp<qsizetype>(parseError.offset, 0, body.size());
        const QByteArray head = body.left(offset);
        const qsizetype line = head.count('\n') + 1;
        const qsizetype column = offset - (head.lastIndexOf('\n') + 1) + 1;
        error = QStringLiteral("malformed JSON at line %1, column %2: %3")
                    .arg(line)
                    .arg(column)
                    .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("the top level must be a row set or column set object");
        return false;
    }
    Reader reader;
    TQXValue value;
    if (!reader.set(doc.object(), QStringLiteral("$"), value)) {
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
    const QByteArray bytes = file.readAll();
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
