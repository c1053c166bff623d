#pragma once

#include <QString>

#include <functional>

/**
 * Progress reaches listeners as plain callbacks: a message and a cancel flag passed by reference
 * (set it to true to stop the work). Services and the engine need no QObject for this.
 */
using QVNProgressListener = std::function<void(const QString& message, bool& cancel)>;

/**
 * @brief "Let pending user-interface events run": one injectable hook for the whole program.
 *
 * The window installs QCoreApplication::processEvents; the command-line tool installs its Ctrl-C
 * check; tests may install anything. With no hook installed DoEvents does nothing.
 */
class QVNEvents
{
public:
    static void SetHook(std::function<void()> hook);
    static void DoEvents();
};
