#pragma once

#include "TQXCols.h"

#include <QString>

/**
 * @brief Turns a design-model text drawn for one sample table into a template: the sample table's
 * name, caption and key become variable tags, and every object identifier becomes a numbered
 * build-time tag, so each build gives the objects fresh identifiers.
 *
 * Pure text work (the conversion window shows it). Single-threaded; pending events run after each
 * line through QVNEvents, so a long text keeps the window responsive.
 */
class QVNUMLConvert
{
public:
    /// The first block between `pStr_Begin` and the first `pStr_End` after it, the marks searched
    /// without regard to case. Positions are 1-based; both -1 (and the result empty) when absent.
    static QString GetBeginEndData(const QString& text, const QString& pStr_Begin, const QString& pStr_End,
                                   int& pInt_Begin, int& pInt_End);

    /// The converted text. `identifiers` receives the identifiers found, keyed by themselves, in the
    /// order found; the n-th is replaced by "<ORVE>RVG_HEXTIME</ORVE>" + n as three digits.
    static QString Convert(const QString& text, TQXColsPtr& identifiers);

    /// The three-digit suffix of the n-th identifier: 001 ... 999, then only the last three digits.
    static QString Suffix(int n);
};
