#pragma once

#include "StavelinExport.h"

#include <QDateTime>
#include <QString>

/// A small unique-key helper kept for compatibility; nothing in the program relies on it.
class STAVELIN_EXPORT TQXUnique
{
public:
    TQXUnique() : m_beginDate(QDateTime::currentDateTime()) {}

    const QDateTime& BeginDate() const { return m_beginDate; }
    void SetBeginDate(const QDateTime& v) { m_beginDate = v; }
    int Length() const { return m_length; }
    void SetLength(int pInt_Length) { m_length = pInt_Length; }

    void Reset() { m_counter = 0; }
    QString GetUnique() const { return QString(); }

private:
    QDateTime m_beginDate;
    int m_length = 10;
    long m_counter = 0;
};
