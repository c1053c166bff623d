#pragma once

#include <QString>
#include <QStringView>

/**
 * @brief The text encodings of the encode block ("<ORVE_ENCODE>"): a value written so that the
 * language it is pasted into reads it back unchanged.
 *
 * Forms (named without regard to case):
 *   - html:   & < > " ' as &amp; &lt; &gt; &quot; &#39;
 *   - sqlid:  an SQL identifier, bare when it is [a-z_][a-z0-9_]* and no reserved word of standard
 *             SQL, PostgreSQL or SQLite, else in double quotes with every " doubled;
 *   - sqlstr: an SQL string literal, ' + text with every ' doubled + ';
 *   - py:     a Python identifier (other characters become "_", "_" before a leading digit, "_"
 *             for the empty text, a trailing "_" after a keyword);
 *   - pystr:  a Python string literal in double quotes;
 *   - vbstr:  the inside of a VBScript "..." literal: every " doubled, a line break written as
 *             " & vbCrLf & " (vbCr, vbLf) because a literal cannot span lines.
 */
class QVNEncode
{
public:
    /// Encodes `text` by `form`; false (and `out` untouched) when the form is unknown.
    static bool Encode(QStringView form, QStringView text, QString& out);

    static QString Html(QStringView text);
    static QString SqlIdentifier(QStringView text);
    static QString SqlString(QStringView text);
    static QString PythonIdentifier(QStringView text);
    static QString PythonString(QStringView text);
    static QString VBString(QStringView text);

    /// Whether a lower-case word is reserved in standard SQL, PostgreSQL or SQLite.
    static bool IsSqlReserved(QStringView lowerWord);
    /// Whether a word is a Python keyword (soft keywords such as "match" are not).
    static bool IsPythonKeyword(QStringView word);
};
