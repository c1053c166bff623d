#pragma once

class QWidget;

/**
 * @brief Keeps a dialog's size from one showing to the next, also across runs: kept in the
 * settings store under the dialog's objectName, value "Size" ("width x height" in pixels).
 *
 * The size is put back at once (never larger than the screen) and stored each time the dialog is
 * hidden. The position is left to the dialog, so it still opens over its owner.
 */
class QVNDialogSize
{
public:
    /// Call once, at the end of the dialog's constructor (after its own sizing).
    static void Remember(QWidget* dialog);
};
