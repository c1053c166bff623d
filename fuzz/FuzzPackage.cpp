// Package extraction: the input is the archive. It is read in memory and unpacked into a scratch
// folder (under small limits, so a run stays fast), with the model password for encrypted entries;
// nothing may be written outside that folder.
#include "FuzzSupport.h"
#include "QVNFunction.h"
#include "QVNModel.h"
#include "QVNZIP.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString archive = fuzzsupport::WriteInput(data, size, QStringLiteral("input.zip"));
    const QString folder = fuzzsupport::ScratchFolder() + QStringLiteral("out/");
    QVNZIP zip;
    zip.SetLimits(4 << 20, 2000);
    QHash<QString, QByteArray> entries;
    zip.ReadEntries(archive, QVNModel::ModelPassword(), {QStringLiteral("model_info.qvns")}, entries);
    zip.Extract(archive, QVNModel::ModelPassword(), folder);
    QDir(folder).removeRecursively();
    return 0;
}
