#pragma once

#include <QString>

/**
 * @brief The path rules for paths that come out of model packages: archive entry names, MF_FILE and
 * the expanded MF_TO.
 *
 * Model authors often write Windows paths, so "\" is read as "/". Such a path must stay inside the
 * folder it is relative to: it may not be absolute (a leading "/", a drive letter "C:", a UNC "//")
 * and may not climb above that folder through ".." parts ("a/../b" stays inside and is accepted).
 */
class QVNModelPath
{
public:
    /// Backslashes read as slashes.
    static QString Normalize(const QString& path);
    /// True when the (normalized) path is relative and never leaves the folder it is relative to.
    static bool StaysInside(const QString& path);
    /// The normalized path with "." parts, doubled slashes and resolved ".." parts removed
    /// (meaningful only for paths that stay inside); a trailing "/" is kept.
    static QString Clean(const QString& path);
};
