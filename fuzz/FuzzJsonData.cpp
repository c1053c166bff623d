// The JSON data reader, and the writer on whatever it accepted.
#include "FuzzSupport.h"
#include "QVNJsonData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TQXValue value;
    QString error;
    if (QVNJsonData::Parse(fuzzsupport::Bytes(data, size), value, error)) {
        if (const TQXRowsPtr rows = value.rows())
            QVNJsonData::Write(rows);
        else if (const TQXColsPtr cols = value.cols())
            QVNJsonData::Write(cols);
    }
    return 0;
}
