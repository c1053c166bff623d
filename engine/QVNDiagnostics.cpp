#include "QVNDiagnostics.h"

#include <QHash>

#include <algorithm>

namespace {

constexpr QStringView kVarBegin = u"<ORVE>";
constexpr QStringView kVarEnd = u"</ORVE>";
constexpr qsizetype kLongestName = 128;
constexpr qsizetype kLongestShown = 100;

/// A tag at `at`: "<ORVE>", "</ORVE>", "<ORVE_NAME>" or "</ORVE_NAME>". `name` is "" for the
/// variable tags and "_NAME" otherwise; `length` the tag's length. False when no tag starts there.
bool tagAt(QStringView text, qsizetype at, bool& isEnd, QStringView& name, qsizetype& length)
{
    qsizetype i = at + 1;
    isEnd = i < text.size() && text[i] == u'/';
    if (isEnd)
        ++i;
    if (!text.mid(i).startsWith(u"ORVE"))
        return false;
    i += 4;
    const qsizetype nameFrom = i;
    if (i < text.size() && text[i] == u'_') {
        ++i;
        while (i < text.size() && i - nameFrom <= kLongestName &&
               (text[i].isLetterOrNumber() || text[i] == u'_' || text[i] == u'-' || text[i] == u'.'))
            ++i;
        if (i == nameFrom + 1)
            return false;
    }
    if (i >= text.size() || text[i] != u'>')
        return false;
    name = text.mid(nameFrom, i - nameFrom);
    length = i + 1 - at;
    return true;
}

/// The parts of the blocks decided after substitution.
bool isPartName(QStringView name)
{
    static const QStringView parts[] = {u"_DATA",     u"_AS",     u"_CASE", u"_CASEDATA",
                                        u"_ELSEDATA", u"_LENGTH", u"_STEP", u"_PADRIGHT"};
    return std::find(std::begin(parts), std::end(parts), name) != std::end(parts);
}

/// A repetition block's name: not a variable, not one of the blocks decided after substitution.
bool isRepetitionName(QStringView name)
{
    return !name.isEmpty() && !isPartName(name) && name != u"_CALC" && name != u"_SELECT" && name != u"_ENCODE" &&
           name != u"_FIXLENGTH";
}

QString tagText(QStringView name, bool isEnd)
{
    return (isEnd ? QStringLiteral("</ORVE") : QStringLiteral("<ORVE")) + name.toString() + QLatin1Char('>');
}

/// The text on one line and not too long to read in a message.
QString shown(QStringView text)
{
    QString s = text.trimmed().toString();
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (s.size() > kLongestShown)
        s = s.left(kLongestShown) + QStringLiteral("...");
    return s;
}

/// Whether `text` can be what `pattern` became: the pattern's variables, encode forms and other
/// tags stand for any text, its literal pieces must appear in order. `score` counts the literal
/// characters matched, so the most specific block can be preferred.
bool couldBecome(QStringView pattern, QStringView text, bool trim, qsizetype& score)
{
    if (trim) {
        pattern = pattern.trimmed();
        text = text.trimmed();
    }
    score = 0;
    qsizetype at = 0;    // in text
    qsizetype piece = 0; // start of the current literal piece in pattern
    bool anchored = true;
    auto take = [&](QStringView literal) {
        if (literal.isEmpty())
            return true;
        const qsizetype found = text.indexOf(literal, at);
        if (found < 0 || (anchored && found != at))
            return false;
        at = found + literal.size();
        score += literal.size();
        return true;
    };
    qsizetype i = 0;
    while (i < pattern.size()) {
        const qsizetype lt = pattern.indexOf(u'<', i);
        if (lt < 0)
            break;
        bool isEnd = false;
        QStringView name;
        qsizetype length = 0;
        if (!tagAt(pattern, lt, isEnd, name, length)) {
            i = lt + 1;
            continue;
        }
        if (!take(pattern.mid(piece, lt - piece)))
            return false;
        anchored = false;
        qsizetype next = lt + length;
        // A variable or an encode form is one wildcard, up to its end tag.
        if (!isEnd && (name.isEmpty() || name == u"_AS")) {
            const QString closing = tagText(name, true);
            const qsizetype close = pattern.indexOf(closing, next);
            if (close >= 0)
                next = close + closing.size();
        }
        piece = i = next;
    }
    const QStringView rest = pattern.mid(piece);
    if (anchored)
        return take(rest) && at == text.size();
    if (rest.isEmpty())
        return true;
    if (!text.endsWith(rest) || text.size() - rest.size() < at)
        return false;
    score += rest.size();
    return true;
}

} // namespace

QString QVNDiagnostic::Text() const
{
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(reason);
}

void QVNDiagnostics::Clear()
{
    m_sources.clear();
    m_items.clear();
    m_reported.clear();
    m_positions.clear();
    m_seen.clear();
    m_unclosed.clear();
}

void QVNDiagnostics::AddSource(const QString& file, const QString& text)
{
    Source s;
    s.file = file;
    s.text = text;
    // A variable file is a list of "[section]" parts, each inserted on its own.
    s.sections = text.startsWith(u'[') || text.contains(QLatin1String("\n["));
    m_sources.push_back(std::move(s));
}

void QVNDiagnostics::SetTemplate(const QString& file, const QString& text)
{
    Source s;
    s.file = file;
    s.text = text;
    if (!m_sources.empty() && !m_sources.front().sections) {
        m_sources.front() = std::move(s);
        std::erase_if(m_unclosed, [](const Range& r) { return r.source == 0; });
    } else {
        m_sources.insert(m_sources.begin(), std::move(s));
        for (Range& r : m_unclosed)
            ++r.source;
    }
    m_seen.clear();
}

QStringList QVNDiagnostics::Lines() const
{
    QStringList lines;
    for (const QVNDiagnostic& d : m_items)
        lines << d.Text();
    return lines;
}

QString QVNDiagnostics::ErrorText(int number)
{
    switch (number) {
    case 5:
        return QStringLiteral("Invalid procedure call or argument");
    case 6:
        return QStringLiteral("Overflow");
    case 7:
        return QStringLiteral("Out of memory");
    case 11:
        return QStringLiteral("Division by zero");
    case 13:
        return QStringLiteral("Type mismatch");
    case 94:
        return QStringLiteral("Invalid use of Null");
    case 424:
        return QStringLiteral("Object required");
    case 450:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case 1002:
        return QStringLiteral("Syntax error");
    default:
        return QStringLiteral("Error");
    }
}

bool QVNDiagnostics::FirstSeen(const QString& key)
{
    if (m_seen.contains(key))
        return false;
    m_seen.insert(key);
    return true;
}

QVNDiagnostic QVNDiagnostics::At(int source, qsizetype offset) const
{
    QVNDiagnostic d;
    if (source >= 0 && source < int(m_sources.size())) {
        const Source& s = m_sources[size_t(source)];
        d.file = s.file;
        const QStringView text = QStringView(s.text).left(std::clamp<qsizetype>(offset, 0, s.text.size()));
        const qsizetype lineStart = text.lastIndexOf(u'\n') + 1;
        d.line = int(text.count(u'\n')) + 1;
        int column = 1;
        for (qsizetype i = lineStart; i < text.size(); ++i) {
            if (!text[i].isLowSurrogate())
                ++column;
        }
        d.column = column;
    } else if (!m_sources.empty()) {
        d.file = m_sources.front().file;
        d.line = 1;
        d.column = 1;
    }
    return d;
}

QString QVNDiagnostics::PositionKey(const QVNDiagnostic& d)
{
    return d.file + QLatin1Char('\n') + QString::number(d.line) + QLatin1Char(':') + QString::number(d.column);
}

void QVNDiagnostics::ReportAt(int source, qsizetype offset, const QString& reason, bool newPlace)
{
    QVNDiagnostic d = At(source, offset);
    d.reason = reason;
    const QString position = PositionKey(d);
    if (newPlace && m_positions.contains(position))
        return;
    const QString key = position + QLatin1Char('\n') + reason;
    if (m_reported.contains(key))
        return;
    m_reported.insert(key);
    m_positions.insert(position);
    m_items.push_back(std::move(d));
}

void QVNDiagnostics::Report(const Place& place, const QString& reason, bool newPlace)
{
    ReportAt(place.source, place.offset, reason, newPlace);
}

void QVNDiagnostics::CheckStructure()
{
    for (int s = 0; s < int(m_sources.size()); ++s) {
        const Source& src = m_sources[size_t(s)];
        if (!src.sections) {
            CheckTags(s, 0, src.text.size());
            continue;
        }
        // Section by section: a "[name]" line ends the part before it.
        const QStringView t(src.text);
        qsizetype partFrom = -1;
        qsizetype pos = 0;
        while (pos <= t.size()) {
            qsizetype nl = t.indexOf(u'\n', pos);
            if (nl < 0)
                nl = t.size();
            const QStringView line = t.mid(pos, nl - pos).trimmed();
            if (line.startsWith(u'[') && line.endsWith(u']')) {
                if (partFrom >= 0)
                    CheckTags(s, partFrom, pos);
                partFrom = nl + 1;
            }
            pos = nl + 1;
        }
        if (partFrom >= 0 && partFrom < t.size())
            CheckTags(s, partFrom, t.size());
    }
}

void QVNDiagnostics::CheckTags(int source, qsizetype from, qsizetype to)
{
    // Each copy of a repetition block is decided on its own (its selection and encode blocks
    // with its row), so inside one a block may hold another of the same name: each repetition
    // block opens a scope of its own.
    struct Scope
    {
        QStringView owner;
        QHash<QStringView, qsizetype> open; // name -> offset of its open begin tag
    };
    const QStringView text = QStringView(m_sources[size_t(source)].text).left(to);
    std::vector<Scope> scopes(1);
    std::vector<std::pair<QStringView, qsizetype>> order;
    QSet<qsizetype> closed;
    qsizetype i = from;
    while ((i = text.indexOf(u'<', i)) >= 0) {
        bool isEnd = false;
        QStringView name;
        qsizetype length = 0;
        if (!tagAt(text, i, isEnd, name, length)) {
            ++i;
            continue;
        }
        if (!isEnd) {
            Scope& current = scopes.back();
            // The first end tag closes the first begin, so a second begin becomes text of that block;
            // a repetition block never holds another of its name, however deep.
            qsizetype first = current.open.value(name, -1);
            for (auto s = scopes.rbegin(); first < 0 && isRepetitionName(name) && s != scopes.rend(); ++s)
                first = s->open.value(name, -1);
            if (first >= 0) {
                const qsizetype lineStart = text.left(first).lastIndexOf(u'\n') + 1;
                ReportAt(source, i,
                         QStringLiteral("\"%1\" begins again inside the block opened at line %2, column %3 (blocks of "
                                        "one name do not nest)")
                             .arg(tagText(name, false))
                             .arg(text.left(first).count(u'\n') + 1)
                             .arg(first - lineStart + 1));
            } else {
                current.open.insert(name, i);
                order.emplace_back(name, i);
                if (isRepetitionName(name))
                    scopes.push_back({name, {}});
            }
        } else {
            if (scopes.size() > 1 && scopes.back().owner == name)
                scopes.pop_back(); // what is still open inside stays unclosed
            bool found = false;
            for (auto s = scopes.rbegin(); s != scopes.rend() && !found; ++s) {
                if (const auto it = s->open.find(name); it != s->open.end()) {
                    closed.insert(it.value());
                    s->open.erase(it);
                    found = true;
                }
            }
            if (!found)
                ReportAt(source, i,
                         QStringLiteral("end tag \"%1\" has no begin tag \"%2\" before it")
                             .arg(tagText(name, true), tagText(name, false)));
        }
        i += length;
    }
    for (const auto& [name, at] : order) {
        if (!closed.contains(at)) {
            m_unclosed.push_back({source, at, to});
            ReportAt(source, at,
                     QStringLiteral("\"%1\" has no end tag \"%2\"").arg(tagText(name, false), tagText(name, true)));
        }
    }
}

QVNDiagnostics::Place QVNDiagnostics::FindBlock(QStringView begin, QStringView end, QStringView partBegin,
                                                QStringView partEnd, QStringView text, bool trim,
                                                bool placeAtBlock) const
{
    Place best;
    Place first;
    qsizetype bestScore = -1;
    for (int s = 0; s < int(m_sources.size()); ++s) {
        const QStringView src(m_sources[size_t(s)].text);
        qsizetype at = 0;
        while ((at = src.indexOf(begin, at)) >= 0) {
            const qsizetype bodyFrom = at + begin.size();
            const qsizetype close = src.indexOf(end, bodyFrom);
            if (close < 0)
                break;
            QStringView body = src.mid(bodyFrom, close - bodyFrom);
            const qsizetype place = at;
            if (!partBegin.isEmpty()) {
                // Every part of that name in the block is a candidate (a selection has many cases).
                qsizetype p = 0;
                while ((p = body.indexOf(partBegin, p)) >= 0) {
                    const qsizetype pf = p + partBegin.size();
                    const qsizetype pe = body.indexOf(partEnd, pf);
                    if (pe < 0)
                        break;
                    qsizetype score = 0;
                    const qsizetype partAt = placeAtBlock ? at : bodyFrom + p;
                    if (first.source < 0) {
                        first.source = s;
                        first.offset = partAt;
                    }
                    if (couldBecome(body.mid(pf, pe - pf), text, trim, score) && score > bestScore) {
                        bestScore = score;
                        best.source = s;
                        best.offset = partAt;
                    }
                    p = pe + partEnd.size();
                }
            } else {
                qsizetype score = 0;
                if (first.source < 0) {
                    first.source = s;
                    first.offset = place;
                }
                if (couldBecome(body, text, trim, score) && score > bestScore) {
                    bestScore = score;
                    best.source = s;
                    best.offset = place;
                }
            }
            at = close + end.size();
        }
        if (best.source >= 0)
            return best; // the template before the texts it inserts
    }
    return best.source >= 0 ? best : first;
}

void QVNDiagnostics::ExpressionFailed(const QString& expression, bool condition, int number, const QString& message)
{
    if (!FirstSeen((condition ? QStringLiteral("C") : QStringLiteral("E")) + expression))
        return;
    const Place place =
        condition ? FindBlock(u"<ORVE_SELECT>", u"</ORVE_SELECT>", u"<ORVE_CASE>", u"</ORVE_CASE>", expression, true)
                  : FindBlock(u"<ORVE_CALC>", u"</ORVE_CALC>", {}, {}, expression, false);
    Report(place,
           QStringLiteral("%1: error %2 (%3) in \"%4\"")
               .arg(condition ? QStringLiteral("selection condition") : QStringLiteral("calculated block"))
               .arg(number)
               .arg(message, shown(expression)),
           true);
}

void QVNDiagnostics::UnknownEncodeForm(QStringView form, bool missing)
{
    if (!FirstSeen((missing ? QStringLiteral("M") : QStringLiteral("F")) + form.toString()))
        return;
    Place place;
    if (missing) {
        // The first encode block that has no form part.
        for (int s = 0; s < int(m_sources.size()) && place.source < 0; ++s) {
            const QStringView src(m_sources[size_t(s)].text);
            qsizetype at = 0;
            while ((at = src.indexOf(u"<ORVE_ENCODE>", at)) >= 0) {
                const qsizetype close = src.indexOf(u"</ORVE_ENCODE>", at);
                if (close < 0 || !src.mid(at, close - at).contains(u"<ORVE_AS>")) {
                    place = {s, at};
                    break;
                }
                at = close;
            }
        }
        Report(place, QStringLiteral("encode block without a form: \"<ORVE_AS>\" is missing"), true);
        return;
    }
    place = FindBlock(u"<ORVE_ENCODE>", u"</ORVE_ENCODE>", u"<ORVE_AS>", u"</ORVE_AS>", form, true, true);
    Report(place,
           QStringLiteral("encode block with the unknown form \"%1\" (known forms: html, sqlid, sqlstr, py, "
                          "pystr, vbstr)")
               .arg(shown(form)),
           true);
}

void QVNDiagnostics::BadFixWidth(QStringView lengthText)
{
    if (!FirstSeen(QStringLiteral("W") + lengthText.toString()))
        return;
    const Place place =
        FindBlock(u"<ORVE_FIXLENGTH>", u"</ORVE_FIXLENGTH>", u"<ORVE_LENGTH>", u"</ORVE_LENGTH>", lengthText, true);
    const QStringView t = lengthText.trimmed();
    Report(place,
           t.isEmpty() ? QStringLiteral("fixed-length block without a width (\"<ORVE_LENGTH>\")")
                       : QStringLiteral("fixed-length block with the width \"%1\": not a whole number of 0 or "
                                        "more")
                             .arg(shown(t)),
           true);
}

void QVNDiagnostics::CheckOutput(const QString& output)
{
    const QStringView out(output);
    qsizetype i = 0;
    // Hop from one "<" to the next: a single character is found by the fast search.
    while ((i = out.indexOf(u'<', i)) >= 0) {
        bool isEnd = false;
        QStringView name;
        qsizetype length = 0;
        if (!tagAt(out, i, isEnd, name, length)) {
            ++i;
            continue;
        }
        QStringView left = out.mid(i, length);
        QStringView key;
        if (!isEnd && name.isEmpty()) {
            const qsizetype close = out.indexOf(kVarEnd, i + length);
            if (close >= 0 && close - i - length <= kLongestName) {
                key = out.mid(i + length, close - i - length);
                if (!key.contains(u'<') && !key.contains(u'\n'))
                    left = out.mid(i, close + kVarEnd.size() - i);
                else
                    key = {};
            }
        }
        i += left.size();
        // An end tag, or a part of a block, is left only with a begin tag already reported.
        if (key.isEmpty() && (isEnd || isPartName(name)))
            continue;
        // The read-me's log is put in after the build.
        if (key.compare(u"RVG_LOG", Qt::CaseInsensitive) == 0 || key.compare(u"RVG_HTMLLOG", Qt::CaseInsensitive) == 0)
            continue;
        const QString found = left.toString();
        if (!FirstSeen(QStringLiteral("O") + found))
            continue;
        // The first place that could have left it; none when a mistake is already reported at one.
        Place place;
        bool known = false;
        for (int s = 0; s < int(m_sources.size()) && !known; ++s) {
            const QString& text = m_sources[size_t(s)].text;
            for (qsizetype at = text.indexOf(found); at >= 0 && !known; at = text.indexOf(found, at + 1)) {
                if (place.source < 0)
                    place = {s, at};
                known = key.isEmpty() && m_positions.contains(PositionKey(At(s, at)));
            }
        }
        // A variable of a block that never closed stays because of that block, reported already.
        known = known || std::any_of(m_unclosed.begin(), m_unclosed.end(), [&place](const Range& r) {
                    return r.source == place.source && r.from <= place.offset && place.offset < r.to;
                });
        if (known)
            continue;
        QString reason;
        if (!key.isEmpty())
            reason = QStringLiteral("no value for the variable \"%1\": nothing supplies this key here").arg(key);
        else if (name.isEmpty())
            reason = QStringLiteral("\"%1\" was left in the output: the variable is not complete").arg(found);
        else
            reason = QStringLiteral("\"%1\" was left in the output: nothing expanded it (no row set named \"%2\" "
                                    "here, or its block is not complete)")
                         .arg(found, name.mid(1));
        if (place.source < 0)
            reason += QStringLiteral(" (made by a value)");
        Report(place, reason, key.isEmpty());
    }
}
