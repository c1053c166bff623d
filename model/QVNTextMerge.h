#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/**
 * @brief Line diffs and three-way merges of generated files, on libgit2's diff and merge-file code.
 *
 * Texts are bytes: UTF-8 and GB18030 outputs are compared and merged line by line as they are
 * stored, without decoding. A text holding a NUL byte counts as binary and is neither diffed nor
 * merged. Thread-agnostic; libgit2 is initialised once per process on first use.
 */
namespace QVNTextMerge {

/// True when `text` holds a NUL byte (a binary file, or UTF-16 text).
bool IsBinary(const QByteArray& text);

/// The unified diff from `before` to `after` with three lines of context, headed "--- a/PATH" and
/// "+++ b/PATH"; empty when the texts are equal. A binary text gives one line saying so.
QByteArray UnifiedDiff(const QByteArray& before, const QByteArray& after, const QString& path);

/// One line of a diff for showing side by side or coloured: the kind of line and its text
/// (without its line break).
struct DiffLine
{
    enum Kind { Context, Removed, Added, Hunk };
    Kind kind;
    QByteArray text;
};
/// The lines of UnifiedDiff(before, after) without its two header lines.
QList<DiffLine> DiffLines(const QByteArray& before, const QByteArray& after);

/**
 * @brief The three-way merge of `ours` and `theirs`, both made from `base`.
 *
 * True when the merge is clean; `merged` then holds the result. False when the changes overlap, a
 * text is binary or libgit2 failed: `merged` then holds the text with conflict markers (or is empty
 * when nothing could be merged) and must not be written over a user's file unasked.
 */
bool Merge(const QByteArray& base, const QByteArray& ours, const QByteArray& theirs, QByteArray& merged);

} // namespace QVNTextMerge
