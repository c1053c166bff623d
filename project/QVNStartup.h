#pragma once

#include "QVNError.h"

#include <QString>

/**
 * @brief The start-up both programs run before their first command: Mdl_Main::Startup (folders,
 * settings, language) and the sample project.
 *
 * It lives beside the project services rather than in `app` because making the sample project
 * reads a database. Runs once per process; later calls do nothing and return the first result.
 */
class QVNStartup
{
public:
    /// `appFolder` is the folder of the running program. False only when the sample project could
    /// not be made; the program works without it (`errors` says why).
    static bool Run(const QString& appFolder, QVNError* errors = nullptr);
};
