#pragma once

#include "TextEncoding.h"

#include <QByteArray>
#include <QString>

/**
 * Decoding and encoding of text files. Reading: UTF-8 when the bytes are valid UTF-8 (a BOM is
 * dropped), UTF-16 when a UTF-16 BOM is present, otherwise GB18030 (through iconv, which every
 * glibc system has). Writing uses the encoding given, so a file can be written back the way it was
 * read.
 */
namespace TextCodec {

QString Decode(const QByteArray& bytes, TextEncoding* found = nullptr);
/// `ok` is false when the text cannot be represented in the encoding (never for UTF encodings).
QByteArray Encode(const QString& text, TextEncoding encoding, bool* ok = nullptr);

} // namespace TextCodec
