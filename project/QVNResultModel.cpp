#include "QVNResultModel.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
/// What one row's texts cost in memory, allocator overhead included: its slot, the list's block
/// and one block per non-empty text (header, characters and terminator, rounded as malloc does).
qint64 RowBytes(const QStringList& row)
{
    qint64 bytes = 24 + 48 + 24 * row.size();
    for (const QString& v : row) {
        if (!v.isEmpty())
            bytes += (16 + 16 + 2 * (v.size() + 1) + 15) / 16 * 16;
    }
    return bytes;
}
} // namespace

QVNResultModel::QVNResultModel(QObject* parent) : QAbstractTableModel(parent) {}

QVNResultModel::~QVNResultModel()
{
    m_runner.reset();
}

void QVNResultModel::Clear()
{
    beginResetModel();
    m_runner.reset(); // cancels and joins the worker, closing its connection
    m_headings.clear();
    m_numeric.clear();
    std::vector<QStringList>().swap(m_rows);
    m_bytes = 0;
    m_limit = false;
    endResetModel();
#if defined(__GLIBC__)
    // The rows were many small blocks; hand the freed pages back to the system now.
    malloc_trim(0);
#endif
}

void QVNResultModel::Run(const QString& connectString, const QString& sql)
{
    m_connect = QVNStatementRunner::StreamingConnectString(connectString);
    m_sql = sql;
    Start(sql);
}

void QVNResultModel::Start(const QString& sql)
{
    Clear();
    m_runner = std::make_unique<QVNStatementRunner>();
    QPointer<QVNResultModel> self(this);
    m_runner->SetNotify([self] {
        // From the worker: the model takes the rows on its own thread.
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self)
                        self->Take();
                },
                Qt::QueuedConnection);
    });
    m_runner->Start(m_connect, sql);
}

void QVNResultModel::Cancel()
{
    if (m_runner)
        m_runner->Cancel();
}

QVNStatementRunner::Status QVNResultModel::Status() const
{
    return m_runner ? m_runner->CurrentStatus() : QVNStatementRunner::Status();
}

bool QVNResultModel::Busy() const
{
    if (!m_runner)
        return false;
    const auto phase = m_runner->CurrentStatus().phase;
    using P = QVNStatementRunner::Phase;
    // A result just opened counts as busy until its headings (and so its first rows) are taken.
    return phase == P::Connecting || phase == P::Executing || m_runner->Reading() ||
           (phase == P::Open && m_headings.isEmpty());
}

bool QVNResultModel::AtEnd() const
{
    return m_runner && m_runner->CurrentStatus().phase == QVNStatementRunner::Phase::Done && !m_limit;
}

bool QVNResultModel::WaitAndTake(int timeoutMs)
{
    if (!m_runner)
        return true;
    const bool idle = m_runner->WaitIdle(timeoutMs);
    Take();
    return idle;
}

void QVNResultModel::Take()
{
    if (!m_runner || m_taking)
        return;
    m_taking = true;
    if (m_headings.isEmpty()) {
        const QStringList headings = m_runner->Headings();
        if (!headings.isEmpty()) {
            beginInsertColumns(QModelIndex(), 0, int(headings.size()) - 1);
            m_headings = headings;
            m_numeric = m_runner->NumericFields();
            endInsertColumns();
            // The first rows are read as soon as the result is open.
            m_runner->RequestRows(kBatchRows);
        }
    }
    std::vector<QStringList> rows = m_runner->TakeRows();
    if (!rows.empty()) {
        const int first = int(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        for (QStringList& row : rows) {
            m_bytes += RowBytes(row);
            m_rows.push_back(std::move(row));
        }
        endInsertRows();
        if (m_bytes >= RowBudgetBytes)
            m_limit = true;
    }
    m_taking = false;
    if (OnChanged)
        OnChanged();
}

QString QVNResultModel::Cell(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return QString();
    const QStringList& values = m_rows[row];
    return column >= 0 && column < values.size() ? values[column] : QString();
}

int QVNResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QVNResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size());
}

QVariant QVNResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return QVariant();
    const QStringList& row = m_rows[index.row()];
    const QString value = index.column() < row.size() ? row[index.column()] : QString();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return value.isNull() ? NullText : value;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::Alignment((IsNumeric(index.column()) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    case IsNullRole:
        return value.isNull();
    default:
        if (value.isNull() && NullStyle)
            return NullStyle(role);
        return QVariant();
    }
}

QVariant QVNResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return Heading(section);
    return section + 1;
}

bool QVNResultModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_runner || m_limit)
        return false;
    return m_runner->CurrentStatus().phase == QVNStatementRunner::Phase::Open && !m_runner->Reading();
}

void QVNResultModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        m_runner->RequestRows(kBatchRows);
}

QString QVNResultModel::SortedStatement(const QString& sql, int field, Qt::SortOrder order)
{
    QString inner = sql.trimmed();
    while (inner.endsWith(QLatin1Char(';')))
        inner = inner.chopped(1).trimmed();
    return QStringLiteral("select * from (%1) sorted_rows order by %2 %3")
        .arg(inner)
        .arg(field)
        .arg(order == Qt::AscendingOrder ? QStringLiteral("asc") : QStringLiteral("desc"));
}

void QVNResultModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= int(m_headings.size()))
        return;
    if (!AtEnd()) {
        // Part of the result is still on the server: only the database can sort all of it.
        Start(SortedStatement(m_sql, column + 1, order));
        return;
    }
    const bool numeric = IsNumeric(column);
    auto less = [column, numeric](const QStringList& a, const QStringList& b) {
        const QString& x = a[column];
        const QString& y = b[column];
        if (x.isNull() != y.isNull())
            return x.isNull(); // nulls first
        if (numeric) {
            bool okX = false, okY = false;
            const double dx = x.toDouble(&okX), dy = y.toDouble(&okY);
            if (okX && okY)
                return dx < dy;
        }
        return x.compare(y, Qt::CaseInsensitive) < 0;
    };
    emit layoutAboutToBeChanged();
    if (order == Qt::AscendingOrder)
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
    else
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [&less](const QStringList& a, const QStringList& b) { return less(b, a); });
    emit layoutChanged();
}
