#pragma once

#include "QVNDiagnostics.h"
#include "QVNParser.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

/**
 * @brief What a model folder's template gives for one table, and what it may use where: the model
 * editor's preview, diagnostics and key list, without any window.
 *
 * The variable set is the one a build hands a per-table template: the variable file's sections, the
 * table's columns, RVG_HEXTIME, the build dialog's variables (with the model's own variables and
 * their defaults) and MG_TABLES. Single-threaded.
 */
class QVNModelPreview
{
public:
    /// The model folder (its description files are read now) and the table set to preview against.
    void SetModel(const QString& folder, const TQXRowsPtr& tables, const QList<QPair<QString, QString>>& projectVars);
    /// The variable file's text as it is being edited (replaces the one read from the folder).
    void SetVariableText(const QString& text);
    const QString& VariableFileName() const;
    /// The names of the tables, in set order.
    QStringList TableNames() const;
    /// The variable set for the table at `index` (0-based; none when out of range).
    TQXColsPtr Data(int index) const;

    struct Result
    {
        QString output;
        std::vector<QVNDiagnostic> diagnostics; // those in `file` and in the variable file
    };
    /// Expands `text` (the file `file`, relative to the folder) over Data(index) with diagnostics.
    Result Expand(const QString& file, const QString& text, int index);

    /// One entry of the key list: a variable's key, or a row set that may be opened as a block.
    struct Key
    {
        QString key;
        bool rowSet = false;
        QString Tag() const; ///< what a double-click inserts
    };
    /// The keys usable at `position` of `text` (0-based): inside an open repetition block first the
    /// fields of that row set and its row placeholders, then the keys of the blocks around it, then
    /// the top set's. Row sets found on the way are offered as blocks.
    static std::vector<Key> KeysAt(const QString& text, qsizetype position, const TQXColsPtr& data);

private:
    QString m_folder;
    QString m_variableText;
    TQXColsPtr m_languageSections = TQXCols::Create(); // the sections of the language files
    TQXRowsPtr m_tables;
    TQXColsPtr m_buildVariables;
    mutable QVNParser m_parser; // reads the variable file; expands the preview
};
