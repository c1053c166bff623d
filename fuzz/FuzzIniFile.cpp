// The INI reader, and an edit of what it read.
#include "FuzzSupport.h"
#include "IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = fuzzsupport::WriteInput(data, size, QStringLiteral("input.ini"));
    IniFile ini = IniFile::Load(path);
    ini.value(QStringLiteral("GLOBAL"), QStringLiteral("LANGUAGE"));
    ini.hasSection(QStringLiteral("QVNMODEL"));
    ini.setValue(QStringLiteral("GLOBAL"), QStringLiteral("LANGUAGE"), QStringLiteral("x"));
    ini.ensureSection(QStringLiteral("NEW"));
    return 0;
}
