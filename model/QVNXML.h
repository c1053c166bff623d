#pragma once

#include "QVNError.h"
#include "TQXRows.h"

#include <QByteArray>
#include <QString>

/**
 * @brief Reads the XML record files of a model ("model_info.qvns", "model_var.qvns", "model_file.qvns").
 *
 * Every element child of the root element is one record (a row whose Name is the element's name),
 * except those whose local name is "schema" (any case), which are skipped so an inline schema may
 * precede the records. Every element child of a record is one field: the column's Key is the
 * field's node name and its Value the field's whole text content, untrimmed.
 *
 * Parsing never touches the network and never loads external entities or external document type
 * definitions. A document with an internal document type definition is validated against it; one
 * that refers to an external definition is refused, because that definition is never loaded.
 */
class QVNXML
{
public:
    /// The records of the file; an empty row set when the file is missing or not valid XML
    /// (the parser's error code, as decimal text, is then the one line in Exceptions, and
    /// ErrorText says what went wrong where).
    TQXRowsPtr XML2Rows(const QString& pStr_XMLFile);
    /// The same for a document already in memory; `name` only labels messages.
    TQXRowsPtr XML2RowsFromData(const QByteArray& data, const QString& name = QString());

    QVNError Exceptions;
    /// After a failure, the reason for people: "name:line: the parser's message" (or why the file
    /// could not be read); empty after success.
    QString ErrorText;
};
