#pragma once

#include "QVNError.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/**
 * @brief Checks a model before anyone builds with it: its description files and its templates.
 *
 * A model is a package or a model folder (the folder a package is packed from). The description
 * files must be well-formed XML; the information record needs a name; every file entry an MF_FILE
 * that exists in the model and an MF_TO that stays inside the output folder. Then the model is built
 * into a temporary folder over the given table set, exactly as the build dialog builds it, and the
 * template engine's diagnostics are collected. Nothing is written outside the temporary folder,
 * which is removed afterwards.
 *
 * Findings are "file:line:column: reason" lines; for a folder the file names start with the folder
 * as given, for a package they are relative to the package. Collector convention: Check clears
 * Exceptions and returns false (with one line there) only when the model cannot be checked at all.
 */
class QVNModelCheck
{
public:
    QVNError Exceptions;

    /// False when `model` is neither a package that opens nor a model folder, or the build could not
    /// start; the findings (possibly none) otherwise.
    bool Check(const QString& model, const TQXRowsPtr& tables, const QList<QPair<QString, QString>>& projectVars);
    /// The findings of the last Check, in the order found (description files first).
    const QStringList& Lines() const { return m_lines; }

private:
    void CheckDescriptions(const QString& folder, const QString& shown);
    void Add(const QString& shown, const QString& file, int line, const QString& reason);

    QStringList m_lines;
    bool m_descriptionsReadable = true;
};
