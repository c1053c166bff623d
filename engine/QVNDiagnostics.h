#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

/// One finding about a template: where it is (1-based line and column, in characters of the text as
/// read, a surrogate pair counting once) and a one-line reason.
struct QVNDiagnostic
{
    QString file;
    int line = 0;
    int column = 0;
    QString reason;

    /// "file:line:column: reason", the form compilers use, so editors and terminals can jump to it.
    QString Text() const;
    bool operator==(const QVNDiagnostic& other) const = default;
};

/**
 * @brief Collects what is wrong with the templates of one expansion, without changing its result.
 *
 * The texts an expansion is made of are registered as sources (the template, a variable file whose
 * sections it inserts). CheckStructure looks at each source's tags on its own: a begin tag without
 * its end, an end tag without its begin, a second begin of one name inside its open block. The
 * engine reports what it finds while expanding (an expression that fails, an unknown encode form, a
 * fixed-length width that is no number), and CheckOutput reports the tags an output still holds
 * (a variable nothing supplied, a block nothing expanded). Findings of the expansion are texts that
 * no longer have a place, so each is pointed at the first block of the sources it can come from.
 *
 * Every finding is reported once per place and reason. Single-threaded, like the engine.
 */
class QVNDiagnostics
{
public:
    /// Forgets every source and finding.
    void Clear();
    /// Adds a text the expansion is made of; `file` names it in the findings. A template is the
    /// first source searched when a finding of the expansion is placed, so add it before the texts
    /// it inserts. Sources added since the last SetTemplate are kept by it.
    void AddSource(const QString& file, const QString& text);
    /// Replaces the template source (the first one) and forgets which texts were already placed,
    /// so a mistake repeated in the next template is reported there too. Other sources stay.
    void SetTemplate(const QString& file, const QString& text);

    /// The pairing of begin and end tags in every source (in a variable file, section by section).
    void CheckStructure();
    /// Reports every tag left in an expanded text. The read-me's log variables, filled after a
    /// build, are not findings.
    void CheckOutput(const QString& output);

    // What the engine reports while expanding.
    void ExpressionFailed(const QString& expression, bool condition, int number, const QString& message);
    void UnknownEncodeForm(QStringView form, bool missing);
    void BadFixWidth(QStringView lengthText);

    const std::vector<QVNDiagnostic>& Items() const { return m_items; }
    bool IsEmpty() const { return m_items.empty(); }
    qsizetype Count() const { return qsizetype(m_items.size()); }
    /// Every finding as Text(), in the order found.
    QStringList Lines() const;

    /// The one-line text of an expression error number ("Type mismatch", ...).
    static QString ErrorText(int number);

private:
    struct Source
    {
        QString file;
        QString text;
        bool sections = false; // a variable file: its sections are checked one by one
    };
    struct Place
    {
        int source = -1;
        qsizetype offset = 0;
    };

    /// `newPlace`: only when nothing was reported at that place yet (a tag left in the output
    /// because of a mistake already reported there).
    void Report(const Place& place, const QString& reason, bool newPlace = false);
    void ReportAt(int source, qsizetype offset, const QString& reason, bool newPlace = false);
    /// The file, line and column of an offset in a source (no reason).
    QVNDiagnostic At(int source, qsizetype offset) const;
    static QString PositionKey(const QVNDiagnostic& d);
    void CheckTags(int source, qsizetype from, qsizetype to);
    /// The first block named `begin` in the sources whose body could have become `text` (variables
    /// and tags in the body stand for any text); `part` narrows the body to that inner block.
    Place FindBlock(QStringView begin, QStringView end, QStringView partBegin, QStringView partEnd, QStringView text,
                    bool trim, bool placeAtBlock = false) const;
    bool FirstSeen(const QString& key);

    std::vector<Source> m_sources;
    std::vector<QVNDiagnostic> m_items;
    QSet<QString> m_reported;  // file, place and reason of every finding
    QSet<QString> m_positions; // file and place of every finding
    QSet<QString> m_seen;      // texts of the expansion already placed, since the last SetTemplate
    struct Range
    {
        int source;
        qsizetype from, to;
    };
    std::vector<Range> m_unclosed; // from a begin tag without its end to the end of its text
};
