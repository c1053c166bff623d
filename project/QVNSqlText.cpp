#include "QVNSqlText.h"

#include <algorithm>

qsizetype QVNSqlText::SplitList(const QString& sql, qsizetype open, QStringList& parts)
{
    parts.clear();
    QString current;
    int depth = 0;
    QChar quote;
    qsizetype i = open + 1;
    for (; i < sql.size(); ++i) {
        const QChar ch = sql.at(i);
        if (!quote.isNull()) {
            current += ch;
            if (ch == quote)
                quote = QChar();
            continue;
        }
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"') || ch == QLatin1Char('`')) {
            quote = ch;
        } else if (ch == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (ch == QLatin1Char('(')) {
            ++depth;
        } else if (ch == QLatin1Char(')')) {
            if (depth == 0)
                break;
            --depth;
        } else if (ch == QLatin1Char(',') && depth == 0) {
            parts << current.trimmed();
            current.clear();
            continue;
        }
        current += ch;
    }
    parts << current.trimmed();
    return i;
}

namespace {
/// One step through a constraint list: the next word, quoted name, or single character, outside
/// comments; a parenthesised part is one token holding everything up to its matching ")".
struct Tokens
{
    const QString& text;
    qsizetype at = 0;
    /// Where the last token starts.
    qsizetype start = 0;

    enum Kind { End, Word, Quoted, Group, Other };

    Kind Next(QString& token)
    {
        token.clear();
        for (;;) {
            while (at < text.size() && text.at(at).isSpace())
                ++at;
            if (text.mid(at, 2) == QLatin1String("--")) {
                at = text.indexOf(QLatin1Char('\n'), at);
                if (at < 0)
                    at = text.size();
                continue;
            }
            if (text.mid(at, 2) == QLatin1String("/*")) {
                const qsizetype end = text.indexOf(QLatin1String("*/"), at + 2);
                at = end < 0 ? text.size() : end + 2;
                continue;
            }
            break;
        }
        start = at;
        if (at >= text.size())
            return End;
        const QChar ch = text.at(at);
        if (ch == QLatin1Char('"') || ch == QLatin1Char('`') || ch == QLatin1Char('[') || ch == QLatin1Char('\'')) {
            const QChar close = ch == QLatin1Char('[') ? QLatin1Char(']') : ch;
            ++at;
            while (at < text.size()) {
                if (text.at(at) == close) {
                    // A doubled quote is the quote itself.
                    if (close != QLatin1Char(']') && at + 1 < text.size() && text.at(at + 1) == close) {
                        token += close;
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                token += text.at(at++);
            }
            return Quoted;
        }
        if (ch == QLatin1Char('(')) {
            QStringList unused;
            const qsizetype close = QVNSqlText::SplitList(text, at, unused);
            token = text.mid(at + 1, close - at - 1).trimmed();
            at = close + 1;
            return Group;
        }
        if (ch.isLetterOrNumber() || ch == QLatin1Char('_') || ch == QLatin1Char('$')) {
            while (at < text.size() && (text.at(at).isLetterOrNumber() || text.at(at) == QLatin1Char('_') ||
                                        text.at(at) == QLatin1Char('$')))
                ++at;
            token = text.mid(start, at - start);
            return Word;
        }
        token = ch;
        ++at;
        return Other;
    }
};
} // namespace

std::vector<QVNSqlText::Check> QVNSqlText::Checks(const QString& createTable)
{
    std::vector<Check> result;
    // The definitions: what the first "(" outside names and comments opens.
    Tokens head{createTable};
    QString token;
    Tokens::Kind kind;
    while ((kind = head.Next(token)) != Tokens::End && kind != Tokens::Group) {
    }
    if (kind != Tokens::Group)
        return result;
    QStringList parts;
    SplitList(createTable, head.start, parts);
    for (const QString& part : parts) {
        Tokens t{part};
        QString name, column;
        bool named = false;
        // A column definition starts with the column's name; a table constraint with a keyword.
        kind = t.Next(token);
        static const QStringList kTableConstraints{QStringLiteral("CONSTRAINT"), QStringLiteral("PRIMARY"),
                                                   QStringLiteral("UNIQUE"), QStringLiteral("CHECK"),
                                                   QStringLiteral("FOREIGN")};
        if (kind == Tokens::Quoted || (kind == Tokens::Word && !kTableConstraints.contains(token, Qt::CaseInsensitive)))
            column = token;
        else
            t.at = t.start;
        while ((kind = t.Next(token)) != Tokens::End) {
            if (kind != Tokens::Word) {
                named = false;
                continue;
            }
            if (token.compare(QLatin1String("CONSTRAINT"), Qt::CaseInsensitive) == 0) {
                const Tokens::Kind k = t.Next(name);
                named = k == Tokens::Word || k == Tokens::Quoted;
                continue;
            }
            if (token.compare(QLatin1String("CHECK"), Qt::CaseInsensitive) == 0) {
                const qsizetype before = t.at;
                QString condition;
                if (t.Next(condition) == Tokens::Group) {
                    result.push_back({named ? name : QString(), condition, column});
                } else {
                    t.at = before;
                }
            }
            named = false;
        }
    }
    return result;
}

QString QVNSqlText::StandardQuotes(const QString& expression)
{
    if (!expression.contains(QLatin1Char('`')))
        return expression;
    QString out;
    out.reserve(expression.size() + 4);
    const qsizetype n = expression.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = expression.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A text or a standard name, copied to its closing quote (a doubled quote stays inside).
            qsizetype j = i + 1;
            while (j < n) {
                if (expression.at(j) == c) {
                    if (j + 1 < n && expression.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                if (c == QLatin1Char('\'') && expression.at(j) == QLatin1Char('\\') && j + 1 < n)
                    ++j;
                ++j;
            }
            out += QStringView(expression).mid(i, std::min(j, n - 1) - i + 1);
            i = j;
            continue;
        }
        if (c != QLatin1Char('`')) {
            out += c;
            continue;
        }
        // `a``b` names a`b; a " inside is doubled for the standard quotes.
        QString name;
        qsizetype j = i + 1;
        for (; j < n; ++j) {
            if (expression.at(j) == QLatin1Char('`')) {
                if (j + 1 < n && expression.at(j + 1) == QLatin1Char('`')) {
                    name += QLatin1Char('`');
                    ++j;
                    continue;
                }
                break;
            }
            name += expression.at(j);
        }
        out += QLatin1Char('"') + name.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
        i = j;
    }
    return out;
}
