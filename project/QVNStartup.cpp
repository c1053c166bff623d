#include "QVNStartup.h"

#include "Mdl_Main.h"
#include "QVNSampleProject.h"

bool QVNStartup::Run(const QString& appFolder, QVNError* errors)
{
    static bool done = false;
    static bool sampleOk = true;
    static QVNError sampleErrors;
    if (!done) {
        done = true;
        Mdl_Main::Startup(appFolder);
        // The sample project points at the sample database with its real path on this machine;
        // it is made on first run (and again if deleted or moved).
        sampleOk = QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, sampleErrors);
    }
    if (errors)
        errors->AddExceptions(sampleErrors);
    return sampleOk;
}
