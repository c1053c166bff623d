#pragma once

#include "TQXCols.h"

/**
 * One row; its column set is shared, and created empty on the first read of Cols().
 *
 * A row is almost always a key and its columns: the name and tag live in a part of their own,
 * allocated the first time one of them is set to a non-empty text. Copies are deep.
 */
class STAVELIN_EXPORT TQXRow
{
public:
    TQXRow() = default;
    TQXRow(const TQXRow& other)
        : m_key(other.m_key), m_cols(other.m_cols), m_more(other.m_more ? new More(*other.m_more) : nullptr)
    {
    }
    TQXRow(TQXRow&&) noexcept = default;
    TQXRow& operator=(const TQXRow& other)
    {
        if (this != &other) {
            m_key = other.m_key;
            m_cols = other.m_cols;
            m_more.reset(other.m_more ? new More(*other.m_more) : nullptr);
        }
        return *this;
    }
    TQXRow& operator=(TQXRow&&) noexcept = default;
    ~TQXRow() = default;

    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_more ? m_more->name : Empty(); }
    void SetName(const QString& v)
    {
        if (m_more || !v.isEmpty())
            More_().name = v;
    }
    const QString& Tag() const { return m_more ? m_more->tag : Empty(); }
    void SetTag(const QString& v)
    {
        if (m_more || !v.isEmpty())
            More_().tag = v;
    }

    /// The row's columns; a fresh empty set is created and kept when none is held.
    const TQXColsPtr& Cols() const;
    /// Stores the reference without copying; a null reference makes the next read create a new set.
    void SetCols(TQXColsPtr cols) { m_cols = std::move(cols); }

private:
    struct More
    {
        QString name;
        QString tag;
    };
    static const QString& Empty()
    {
        static const QString empty;
        return empty;
    }
    More& More_()
    {
        if (!m_more)
            m_more.reset(new More);
        return *m_more;
    }

    QString m_key;
    mutable TQXColsPtr m_cols;
    std::unique_ptr<More> m_more;
};

using TQXRowPtr = std::shared_ptr<TQXRow>;
