#pragma once

#include "QVNEncode.h"
#include "TQXCols.h"
#include "TQXRows.h"
#include "VBEvaluator.h"

#include <QString>

#include <utility>
#include <vector>

/**
 * The template rules written down as plainly as possible: whole-string searches, one replacement
 * per column, no caches and no shortcuts. The engine must give the same text; the differential
 * test feeds both random templates. Fixed-length blocks are left to the engine's own tests (this
 * reference counts every character as one column wide).
 */
class ReferenceParser
{
public:
    QString ConvertCols(const QString& text, const TQXColsPtr& cols)
    {
        QString t = DeleteUselessEnter(text);
        if (t.contains(QStringLiteral("<ORVE"))) {
            t = ColsMark(t, cols);
            t = Encode(t);
            t = Calc(t);
            t = Select(t);
            t = FixLength(t);
        }
        return t;
    }

private:
    static qsizetype breakAtEnd(const QString& s)
    {
        if (s.endsWith(QStringLiteral("\r\n")))
            return 2;
        return s.endsWith(QLatin1Char('\n')) ? 1 : 0;
    }
    static qsizetype breakAtStart(const QString& s)
    {
        if (s.startsWith(QStringLiteral("\r\n")))
            return 2;
        return s.startsWith(QLatin1Char('\n')) ? 1 : 0;
    }
    static QString rtrim(QString s)
    {
        while (s.endsWith(QLatin1Char(' ')))
            s.chop(1);
        return s;
    }
    static QString ltrim(QString s)
    {
        while (s.startsWith(QLatin1Char(' ')))
            s.remove(0, 1);
        return s;
    }

    static QString block(const QString& text, const QString& b, const QString& e, qsizetype& bi, qsizetype& ei)
    {
        bi = text.indexOf(b);
        ei = bi < 0 ? -1 : text.indexOf(e, bi + b.size());
        if (bi < 0 || ei < 0) {
            bi = ei = -1;
            return QString();
        }
        return text.mid(bi + b.size(), ei - bi - b.size());
    }

    QString DeleteUselessEnter(const QString& text)
    {
        QString result, rest = text;
        while (true) {
            const qsizetype o = rest.indexOf(QStringLiteral("<ORVE_"));
            const qsizetype c = rest.indexOf(QStringLiteral("</ORVE_"));
            const qsizetype s = o < 0 ? c : (c < 0 ? o : std::min(o, c));
            if (s < 0)
                break;
            const qsizetype t = rest.indexOf(QLatin1Char('>'), s);
            if (t < 0)
                break;
            const QString before = rtrim(rest.left(s));
            const QString after = ltrim(rest.mid(t + 1));
            const QString tag = rest.mid(s, t - s + 1);
            if (breakAtEnd(before) > 0 && !tag.contains(QLatin1Char('\n')) &&
                (breakAtStart(after) > 0 || after.isEmpty())) {
                result += before.left(before.size() - breakAtEnd(before)) + tag;
                rest = after;
            } else {
                result += rest.left(t + 1);
                rest = rest.mid(t + 1);
            }
        }
        return result + rest;
    }

    QString RowsMark(const QString& text, const TQXRowsPtr& rows)
    {
        const QString tag = rows->Tag();
        if (tag.isEmpty())
            return text;
        const QString b = QStringLiteral("<ORVE_") + tag + QLatin1Char('>');
        const QString e = QStringLiteral("</ORVE_") + tag + QLatin1Char('>');
        QString result, rest = text;
        while (true) {
            qsizetype bi, ei;
            const QString body = block(rest, b, e, bi, ei);
            if (bi < 0)
                break;
            QString expansion;
            int counter = 0;
            for (const TQXRowPtr& row : *rows) {
                ++counter;
                QString piece = ColsMark(body, row->Cols());
                piece.replace(QStringLiteral("<ORVE>ORVE_") + tag + QStringLiteral("_ROW_INDEX</ORVE>"),
                              QString::number(counter));
                piece.replace(QStringLiteral("<ORVE>ORVE_") + tag + QStringLiteral("_ROW_COUNT</ORVE>"),
                              QString::number(rows->Count()));
                piece.replace(QStringLiteral("<ORVE>ORVE_") + tag + QStringLiteral("_ROW_KEY</ORVE>"), row->Key());
                if (!piece.contains(QStringLiteral("<ORVE>")))
                    piece = Select(Encode(piece));
                expansion += piece;
            }
            result += rest.left(bi) + expansion;
            rest = rest.mid(ei + e.size());
        }
        return result + rest;
    }

    QString ColsMark(QString text, const TQXColsPtr& cols)
    {
        for (const TQXColPtr& col : *cols) {
            if (auto r = col->Value().rows())
                text = RowsMark(text, r);
            else if (auto c = col->Value().cols())
                text = ColsMark(text, c);
            else
                text.replace(QStringLiteral("<ORVE>") + col->Key() + QStringLiteral("</ORVE>"), col->Value().ToText());
        }
        return text;
    }

    template <typename F> QString Scan(const QString& text, const QString& b, const QString& e, F replace)
    {
        QString result, rest = text;
        while (true) {
            qsizetype bi, ei;
            const QString body = block(rest, b, e, bi, ei);
            if (bi < 0)
                break;
            result += rest.left(bi) + replace(body);
            rest = rest.mid(ei + e.size());
        }
        return result + rest;
    }

    // The forms themselves are QVNEncode's (tested on their own); this checks where blocks are found.
    QString Encode(const QString& text)
    {
        const QString b = QStringLiteral("<ORVE_ENCODE>"), e = QStringLiteral("</ORVE_ENCODE>");
        return Scan(text, b, e, [&](const QString& body) {
            qsizetype db, de, ab, ae;
            const QString data = block(body, QStringLiteral("<ORVE_DATA>"), QStringLiteral("</ORVE_DATA>"), db, de);
            // The AS part counts only outside the DATA part: before it, else after it.
            const QString before = db < 0 ? body : body.left(db);
            QString form = block(before, QStringLiteral("<ORVE_AS>"), QStringLiteral("</ORVE_AS>"), ab, ae);
            if (ab < 0 && db >= 0)
                form = block(body.mid(de + QStringLiteral("</ORVE_DATA>").size()), QStringLiteral("<ORVE_AS>"),
                             QStringLiteral("</ORVE_AS>"), ab, ae);
            QString out;
            if (ab >= 0 && QVNEncode::Encode(form, data, out))
                return out;
            return b + body + e;
        });
    }

    QString Calc(const QString& text)
    {
        return Scan(text, QStringLiteral("<ORVE_CALC>"), QStringLiteral("</ORVE_CALC>"),
                    [this](const QString& body) { return m_eval.EvaluateToText(body); });
    }

    QString FixLength(const QString& text)
    {
        return Scan(
            text, QStringLiteral("<ORVE_FIXLENGTH>"), QStringLiteral("</ORVE_FIXLENGTH>"), [](const QString& body) {
                qsizetype b, e;
                QString data =
                    ltrim(rtrim(block(body, QStringLiteral("<ORVE_DATA>"), QStringLiteral("</ORVE_DATA>"), b, e)));
                const QString len =
                    ltrim(block(body, QStringLiteral("<ORVE_LENGTH>"), QStringLiteral("</ORVE_LENGTH>"), b, e));
                qsizetype digits = 0;
                while (digits < len.size() && len.at(digits).isDigit() && len.at(digits).unicode() < 128)
                    ++digits;
                const qsizetype width = len.left(digits).toLongLong();
                const bool padRight = block(body, QStringLiteral("<ORVE_PADRIGHT>"), QStringLiteral("</ORVE_PADRIGHT>"),
                                            b, e) != QStringLiteral("2");
                if (data.size() >= width) {
                    if (data.size() == width || width > 0)
                        return data.left(width);
                    return QStringLiteral(" ");
                }
                const QString fill(width - data.size(), QLatin1Char(' '));
                return padRight ? data + fill : fill + data;
            });
    }

    QString Select(const QString& text)
    {
        const QString b = QStringLiteral("<ORVE_SELECT>"), e = QStringLiteral("</ORVE_SELECT>");
        QString result, rest = text;
        while (true) {
            qsizetype bi, ei;
            QString w = block(rest, b, e, bi, ei);
            if (bi < 0)
                break;
            std::vector<std::pair<QString, QString>> cases;
            while (true) {
                qsizetype cb, ce, db, de;
                const QString cond = block(w, QStringLiteral("<ORVE_CASE>"), QStringLiteral("</ORVE_CASE>"), cb, ce);
                const QString data =
                    block(w, QStringLiteral("<ORVE_CASEDATA>"), QStringLiteral("</ORVE_CASEDATA>"), db, de);
                if (cond.isEmpty() || db < 0)
                    break;
                cases.emplace_back(cond, data);
                w = w.mid(de + QStringLiteral("</ORVE_CASEDATA>").size());
            }
            qsizetype xb, xe;
            const QString other =
                block(w, QStringLiteral("<ORVE_ELSEDATA>"), QStringLiteral("</ORVE_ELSEDATA>"), xb, xe);
            if (!other.isEmpty())
                cases.emplace_back(QStringLiteral("\"1\" = \"1\""), other);
            bool chosen = false;
            QString replacement;
            for (const auto& [cond, data] : cases) {
                if (m_eval.EvaluateToText(ltrim(rtrim(cond))) != QStringLiteral("False")) {
                    chosen = true;
                    replacement = data;
                    break;
                }
            }
            const QString prefix = rest.left(bi);
            const QString suffix = rest.mid(ei + e.size());
            const QString p = rtrim(prefix), s = ltrim(suffix);
            if (!chosen && breakAtEnd(p) > 0 && breakAtStart(s) > 0) {
                result += p;
                rest = s.mid(breakAtStart(s));
            } else {
                result += prefix + replacement;
                rest = suffix;
            }
        }
        return result + rest;
    }

    VBEvaluator m_eval;
};
