#pragma once

#include <QString>

#include <functional>

class QWidget;

/**
 * @brief The shared message box: shows a localised message with an optional detail text in a
 * fresh, modal Frm_Error and returns when it has closed.
 *
 * Failures use type 0 with the collector's text as detail; notices type 2. A test (or a headless
 * caller) may install a handler that receives the message instead of a window.
 */
class QVNMessage
{
public:
    using Handler = std::function<void(const QString& message, int type, const QString& detail)>;

    static void Show(const QString& pStr_Message, int pInt_Type, const QString& pStr_Detail, bool pBol_ShowDetail,
                     int pInt_AutoCloseTime, QWidget* owner = nullptr);
    /// Replaces the window by a handler; an empty handler restores the window.
    static void SetHandler(Handler handler);
};
