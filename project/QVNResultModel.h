#pragma once

#include "QVNStatementRunner.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>

/**
 * @brief The rows of one statement for a table view, read from an open cursor as the view asks
 * for them (canFetchMore/fetchMore), so a result of any size costs only the rows looked at.
 *
 * The statement runs on a QVNStatementRunner's worker; the model lives on the thread that made it
 * and takes the rows over there. It holds at most RowBudgetBytes of row texts: beyond that it
 * stops fetching (LimitReached) and a sort is done by the database. A database null is shown as
 * NullText with IsNullRole true, the empty text as empty; numeric fields are right-aligned.
 */
class QVNResultModel : public QAbstractTableModel
{
public:
    static constexpr int IsNullRole = Qt::UserRole + 1;
    static constexpr int kBatchRows = 256;
    static constexpr qint64 kDefaultBudget = 40LL * 1024 * 1024;

    explicit QVNResultModel(QObject* parent = nullptr);
    ~QVNResultModel() override;

    /// Called on the model's thread whenever the state, rows or status changed.
    std::function<void()> OnChanged;
    /// Extra roles of a null cell (a colour, a font) supplied by the window; may be empty.
    std::function<QVariant(int role)> NullStyle;
    QString NullText = QStringLiteral("NULL");
    qint64 RowBudgetBytes = kDefaultBudget;

    /// Runs sql on a connection of its own; the old result (if any) is dropped first.
    void Run(const QString& connectString, const QString& sql);
    /// Stops the statement (SQLCancel while it executes) and the reading of rows.
    void Cancel();
    /// Drops the result and the connection, giving the memory back.
    void Clear();

    QVNStatementRunner::Status Status() const;
    bool Busy() const; ///< executing, or reading rows asked for
    bool LimitReached() const { return m_limit; }
    bool AtEnd() const; ///< every row of the result is held
    const QString& Statement() const { return m_sql; }
    /// The statement that sorts sql's result by a field (1-based) in the database.
    static QString SortedStatement(const QString& sql, int field, Qt::SortOrder order);
    /// Waits (serving nothing) until the runner is idle and takes its rows; for callers without
    /// an event loop.
    bool WaitAndTake(int timeoutMs);

    QString Heading(int column) const
    {
        return column >= 0 && column < m_headings.size() ? m_headings[column] : QString();
    }
    /// The cell's text: a null QString for a database null.
    QString Cell(int row, int column) const;
    bool IsNumeric(int column) const { return column >= 0 && column < int(m_numeric.size()) && m_numeric[column]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    /// Sorts the rows held when they are the whole result; else runs the statement again ordered
    /// by the database.
    void sort(int column, Qt::SortOrder order) override;

private:
    void Take();
    void Start(const QString& sql);

    QString m_connect;
    QString m_sql;
    std::unique_ptr<QVNStatementRunner> m_runner;
    QStringList m_headings;
    std::vector<bool> m_numeric;
    std::vector<QStringList> m_rows;
    qint64 m_bytes = 0;
    bool m_limit = false;
    bool m_taking = false;
};
