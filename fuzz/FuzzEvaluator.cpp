// The expression evaluator: any text as an expression must give a value or the empty text.
#include "FuzzSupport.h"
#include "TextCodec.h"
#include "VBEvaluator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VBEvaluator evaluator;
    const QString expression = TextCodec::Decode(fuzzsupport::Bytes(data, size));
    evaluator.EvaluateToText(expression);
    // A second evaluation takes the cached parse.
    evaluator.EvaluateToText(expression);
    return 0;
}
