#pragma once

#include "TQXCols.h"

/**
 * @brief The error collector every service owns as its public member `Exceptions`.
 *
 * One entry per failure: the entry's value is the message, its Tag the nesting depth as decimal
 * text ("0" for the collector's own lines). Never throws.
 */
class QVNError
{
public:
    QVNError() : Messages(TQXCols::Create()) {}

    bool Add(const QString& pStr_Mess);
    /// Takes over the other collector's entries one level deeper; the other is not changed.
    bool AddExceptions(const QVNError& pCols_Exception);
    bool Clear();
    /// All entries as lines joined by CR LF, each indented by five spaces per level and trimmed.
    QString ToString() const;

    int Count() const { return Messages->Count(); }
    bool IsEmpty() const { return Messages->Count() == 0; }

    TQXColsPtr Messages;
};
