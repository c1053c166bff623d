// The template engine's expansion. The input is a template and up to three variable values,
// separated by NUL bytes; the variables A, B and C and a two-row table set "TABLES" (columns
// NAME and N) are what the template can refer to.
#include "FuzzSupport.h"
#include "QVNParser.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = fuzzsupport::Bytes(data, size).split('\0');
    const auto part = [&parts](qsizetype i) { return i < parts.size() ? QString::fromUtf8(parts.at(i)) : QString(); };

    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    for (int row = 1; row <= 2; ++row) {
        auto cols = TQXCols::Create();
        cols->Add(TQXValue(QStringLiteral("T%1").arg(row)), QStringLiteral("NAME"));
        cols->Add(TQXValue(row), QStringLiteral("N"));
        tables->Add(cols, QStringLiteral("R%1").arg(row));
    }
    auto vars = TQXCols::Create();
    vars->Add(TQXValue(part(1)), QStringLiteral("A"));
    vars->Add(TQXValue(part(2)), QStringLiteral("B"));
    vars->Add(TQXValue(part(3)), QStringLiteral("C"));
    vars->Add(TQXValue(tables), QStringLiteral("MG_TABLES"));

    QVNParser parser;
    parser.ConvertCols(part(0), vars);
    return 0;
}
