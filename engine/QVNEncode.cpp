#include "QVNEncode.h"

#include <QSet>
#include <QStringList>

namespace {

// Reserved words of standard SQL (the current standard's reserved list), PostgreSQL (its reserved
// words, including those that may only be function or type names, and the non-reserved words that
// cannot be a function or type) and SQLite (all its keywords: most are usable as names in some
// places only), MariaDB and MySQL (their reserved words not in the other lists). A word in this list
// is always quoted, which is correct in every one of them.
const char* const kSqlReserved[] = {
    // standard SQL
    "abs", "acos", "all", "allocate", "alter", "and", "any", "are", "array", "array_agg", "array_max_cardinality", "as",
    "asensitive", "asin", "asymmetric", "at", "atan", "atomic", "authorization", "avg", "begin", "begin_frame",
    "begin_partition", "between", "bigint", "binary", "blob", "boolean", "both", "by", "call", "called", "cardinality",
    "cascaded", "case", "cast", "ceil", "ceiling", "char", "char_length", "character", "character_length", "check",
    "classifier", "clob", "close", "coalesce", "collate", "collect", "column", "commit", "condition", "connect",
    "constraint", "contains", "convert", "copy", "corr", "corresponding", "cos", "cosh", "count", "covar_pop",
    "covar_samp", "create", "cross", "cube", "cume_dist", "current", "current_catalog", "current_date",
    "current_default_transform_group", "current_path", "current_role", "current_row", "current_schema", "current_time",
    "current_timestamp", "current_transform_group_for_type", "current_user", "cursor", "cycle", "date", "day",
    "deallocate", "dec", "decfloat", "decimal", "declare", "default", "define", "delete", "dense_rank", "deref",
    "describe", "deterministic", "disconnect", "distinct", "double", "drop", "dynamic", "each", "element", "else",
    "empty", "end", "end_frame", "end_partition", "equals", "escape", "every", "except", "exec", "execute", "exists",
    "exp", "external", "extract", "false", "fetch", "filter", "first_value", "float", "floor", "for", "foreign",
    "frame_row", "free", "from", "full", "function", "fusion", "get", "global", "grant", "group", "grouping", "groups",
    "having", "hold", "hour", "identity", "in", "indicator", "initial", "inner", "inout", "insensitive", "insert",
    "int", "integer", "intersect", "intersection", "interval", "into", "is", "join", "json_array", "json_arrayagg",
    "json_exists", "json_object", "json_objectagg", "json_query", "json_table", "json_table_primitive", "json_value",
    "lag", "language", "large", "last_value", "lateral", "lead", "leading", "left", "like", "like_regex", "listagg",
    "ln", "local", "localtime", "localtimestamp", "log", "log10", "lower", "match", "match_number", "match_recognize",
    "matches", "max", "member", "merge", "method", "min", "minute", "mod", "modifies", "module", "month", "multiset",
    "national", "natural", "nchar", "nclob", "new", "no", "none", "normalize", "not", "nth_value", "ntile", "null",
    "nullif", "numeric", "occurrences_regex", "octet_length", "of", "offset", "old", "omit", "on", "one", "only",
    "open", "or", "order", "out", "outer", "over", "overlaps", "overlay", "parameter", "partition", "pattern", "per",
    "percent", "percent_rank", "percentile_cont", "percentile_disc", "period", "portion", "position", "position_regex",
    "power", "precedes", "precision", "prepare", "primary", "procedure", "ptf", "range", "rank", "reads", "real",
    "recursive", "ref", "references", "referencing", "regr_avgx", "regr_avgy", "regr_count", "regr_intercept",
    "regr_r2", "regr_slope", "regr_sxx", "regr_sxy", "regr_syy", "release", "result", "return", "returns", "revoke",
    "right", "rollback", "rollup", "row", "row_number", "rows", "running", "savepoint", "scope", "scroll", "search",
    "second", "seek", "select", "sensitive", "session_user", "set", "show", "similar", "sin", "sinh", "skip",
    "smallint", "some", "specific", "specifictype", "sql", "sqlexception", "sqlstate", "sqlwarning", "sqrt", "start",
    "static", "stddev_pop", "stddev_samp", "submultiset", "subset", "substring", "substring_regex", "succeeds", "sum",
    "symmetric", "system", "system_time", "system_user", "table", "tablesample", "tan", "tanh", "then", "time",
    "timestamp", "timezone_hour", "timezone_minute", "to", "trailing", "translate", "translate_regex", "translation",
    "treat", "trigger", "trim", "trim_array", "true", "truncate", "uescape", "union", "unique", "unknown", "unnest",
    "update", "upper", "user", "using", "value", "value_of", "values", "var_pop", "var_samp", "varbinary", "varchar",
    "varying", "versioning", "when", "whenever", "where", "width_bucket", "window", "with", "within", "without", "year",
    // PostgreSQL
    "analyse", "analyze", "asc", "bit", "collation", "concurrently", "deferrable", "desc", "do", "freeze", "greatest",
    "ilike", "initially", "isnull", "least", "limit", "notnull", "placing", "returning", "setof", "verbose", "variadic",
    "xmlattributes", "xmlconcat", "xmlelement", "xmlexists", "xmlforest", "xmlnamespaces", "xmlparse", "xmlpi",
    "xmlroot", "xmlserialize", "xmltable", "json", "json_scalar", "json_serialize", "merge_action",
    // SQLite
    "abort", "action", "add", "after", "always", "attach", "autoincrement", "before", "cascade", "conflict", "database",
    "deferred", "detach", "exclude", "exclusive", "explain", "fail", "first", "following", "generated", "glob", "if",
    "ignore", "immediate", "index", "indexed", "instead", "key", "last", "materialized", "nothing", "nulls", "others",
    "plan", "pragma", "preceding", "query", "raise", "regexp", "reindex", "rename", "replace", "restrict", "temp",
    "temporary", "ties", "transaction", "unbounded", "vacuum", "view", "virtual",
    // MariaDB and MySQL
    "accessible", "change", "continue", "databases", "day_hour", "day_microsecond", "day_minute", "day_second",
    "delayed", "delete_domain_id", "distinctrow", "div", "do_domain_ids", "dual", "elseif", "enclosed", "escaped",
    "exit", "float4", "float8", "force", "fulltext", "general", "high_priority", "hour_microsecond", "hour_minute",
    "hour_second", "ignore_domain_ids", "ignore_server_ids", "infile", "int1", "int2", "int3", "int4", "int8",
    "iterate", "keys", "kill", "leave", "linear", "lines", "load", "lock", "long", "longblob", "longtext", "loop",
    "low_priority", "master_heartbeat_period", "master_ssl_verify_server_cert", "maxvalue", "mediumblob", "mediumint",
    "mediumtext", "middleint", "minute_microsecond", "minute_second", "no_write_to_binlog", "optimize", "option",
    "optionally", "outfile", "page_checksum", "parse_vcol_expr", "purge", "read", "read_write", "ref_system_id",
    "repeat", "require", "resignal", "rlike", "rownum", "schema", "schemas", "second_microsecond", "separator",
    "signal", "slow", "spatial", "sql_big_result", "sql_calc_found_rows", "sql_small_result", "ssl", "starting",
    "stats_auto_recalc", "stats_persistent", "stats_sample_pages", "straight_join", "terminated", "tinyblob", "tinyint",
    "tinytext", "undo", "unlock", "unsigned", "usage", "use", "utc_date", "utc_time", "utc_timestamp", "varcharacter",
    "while", "write", "xor", "year_month", "zerofill"};

const char* const kPythonKeywords[] = {"False",  "None",   "True",    "and",      "as",       "assert", "async",
                                       "await",  "break",  "class",   "continue", "def",      "del",    "elif",
                                       "else",   "except", "finally", "for",      "from",     "global", "if",
                                       "import", "in",     "is",      "lambda",   "nonlocal", "not",    "or",
                                       "pass",   "raise",  "return",  "try",      "while",    "with",   "yield"};

template <size_t N> QSet<QString> wordSet(const char* const (&words)[N])
{
    QSet<QString> set;
    set.reserve(static_cast<qsizetype>(N));
    for (const char* w : words)
        set.insert(QString::fromLatin1(w));
    return set;
}

bool isAsciiLower(QChar c)
{
    return c >= u'a' && c <= u'z';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Python's identifier classes: a start is a letter (Lu Ll Lt Lm Lo), a letter number (Nl) or "_";
// a later character may also be a mark (Mn Mc), a decimal digit (Nd) or connector punctuation (Pc).
bool isPyStart(char32_t c)
{
    if (c == U'_')
        return true;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_Letter:
        return true;
    default:
        return false;
    }
}

bool isPyContinue(char32_t c)
{
    if (isPyStart(c))
        return true;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Number_DecimalDigit:
    case QChar::Punctuation_Connector:
        return true;
    default:
        return false;
    }
}

/// The code point at i and how many UTF-16 units it takes; an unpaired surrogate is itself.
char32_t codePointAt(QStringView t, qsizetype i, qsizetype& units)
{
    const QChar c = t.at(i);
    if (c.isHighSurrogate() && i + 1 < t.size() && t.at(i + 1).isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(c, t.at(i + 1));
    }
    units = 1;
    return c.unicode();
}

} // namespace

bool QVNEncode::Encode(QStringView form, QStringView text, QString& out)
{
    const QString f = form.trimmed().toString().toLower();
    if (f == u"html")
        out = Html(text);
    else if (f == u"sqlid")
        out = SqlIdentifier(text);
    else if (f == u"sqlstr")
        out = SqlString(text);
    else if (f == u"py")
        out = PythonIdentifier(text);
    else if (f == u"pystr")
        out = PythonString(text);
    else if (f == u"vbstr")
        out = VBString(text);
    else
        return false;
    return true;
}

QString QVNEncode::Html(QStringView text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\'':
            out += u"&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {
/// The text between two `quote` characters, each `quote` inside doubled: SQL's way of quoting.
QString quoteDoubling(QStringView text, QChar quote)
{
    QString out;
    out.reserve(text.size() + 2);
    out += quote;
    for (const QChar c : text) {
        if (c == quote)
            out += quote;
        out += c;
    }
    out += quote;
    return out;
}
} // namespace

QString QVNEncode::SqlIdentifier(QStringView text)
{
    bool bare = !text.isEmpty() && (isAsciiLower(text.at(0)) || text.at(0) == u'_');
    for (qsizetype i = 1; bare && i < text.size(); ++i) {
        const QChar c = text.at(i);
        bare = isAsciiLower(c) || isAsciiDigit(c) || c == u'_';
    }
    if (bare && !IsSqlReserved(text))
        return text.toString();
    return quoteDoubling(text, u'"');
}

QString QVNEncode::SqlString(QStringView text)
{
    return quoteDoubling(text, u'\'');
}

QString QVNEncode::PythonIdentifier(QStringView text)
{
    QString out;
    out.reserve(text.size() + 1);
    for (qsizetype i = 0; i < text.size();) {
        qsizetype units = 1;
        const char32_t c = codePointAt(text, i, units);
        if (!isPyContinue(c)) {
            out += u'_';
        } else {
            if (out.isEmpty() && !isPyStart(c))
                out += u'_'; // a digit (or mark) cannot begin a name
            out += text.mid(i, units);
        }
        i += units;
    }
    if (out.isEmpty())
        return QStringLiteral("_");
    if (IsPythonKeyword(out))
        out += u'_';
    return out;
}

QString QVNEncode::PythonString(QStringView text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        switch (u) {
        case u'\\':
            out += u"\\\\";
            continue;
        case u'"':
            out += u"\\\"";
            continue;
        case u'\n':
            out += u"\\n";
            continue;
        case u'\r':
            out += u"\\r";
            continue;
        case u'\t':
            out += u"\\t";
            continue;
        default:
            break;
        }
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f)) {
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        } else if (c.isSurrogate()) {
            const bool paired = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
            if (paired) {
                out += c;
                out += text.at(++i);
            } else {
                // An unpaired half cannot be written to a UTF-8 source file.
                out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
            }
        } else if (u == 0x2028 || u == 0x2029) {
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0')); // line separators
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

QString QVNEncode::VBString(QStringView text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            out += u"\"\"";
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            out += u"\" & vbCrLf & \"";
            ++i;
        } else if (c == u'\r') {
            out += u"\" & vbCr & \"";
        } else if (c == u'\n') {
            out += u"\" & vbLf & \"";
        } else {
            out += c;
        }
    }
    return out;
}

bool QVNEncode::IsSqlReserved(QStringView lowerWord)
{
    static const QSet<QString> words = wordSet(kSqlReserved);
    return words.contains(lowerWord.toString());
}

bool QVNEncode::IsPythonKeyword(QStringView word)
{
    static const QSet<QString> words = wordSet(kPythonKeywords);
    return words.contains(word.toString());
}
