// The XML record reader of model description files.
#include "FuzzSupport.h"
#include "QVNXML.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QVNXML reader;
    const TQXRowsPtr rows = reader.XML2RowsFromData(fuzzsupport::Bytes(data, size), QStringLiteral("fuzz.qvns"));
    for (const TQXRowPtr& row : *rows)
        for (const TQXColPtr& col : *row->Cols())
            col->Value().ToText();
    return 0;
}
