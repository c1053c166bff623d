// The variable-file reader: the bytes of a file as the engine reads them (decoding included).
#include "FuzzSupport.h"
#include "QVNParser.h"
#include "TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QVNParser parser;
    const TQXColsPtr sections = parser.GetTempVariable(TextCodec::Decode(fuzzsupport::Bytes(data, size)));
    for (const TQXColPtr& col : *sections)
        col->Value().ToText();
    return 0;
}
