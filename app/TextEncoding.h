#pragma once

/// The encoding a text file was read in, so text can be written back the same way.
enum class TextEncoding {
    Utf8,    ///< valid UTF-8 without a byte-order mark (also the encoding of new files)
    Utf8Bom, ///< UTF-8 that started with a byte-order mark (dropped on reading)
    Utf16LE, ///< UTF-16 little endian with its byte-order mark
    Utf16BE, ///< UTF-16 big endian with its byte-order mark
    GB18030  ///< anything else: the legacy Chinese code page of files made on Chinese Windows
};
