#pragma once

#include "StavelinExport.h"

#include <functional>
#include <memory>

class TQXRows;
class TQXCols;

/**
 * @brief Where TQXRows::Show and TQXCols::Show find the collection viewer.
 *
 * The viewer is a window, and this library links no widgets: a window library registers the
 * function that opens it (modally, with the row set and the column set to show). Without one,
 * Show does nothing and returns false.
 */
class STAVELIN_EXPORT TQXShow
{
public:
    using Viewer = std::function<void(const std::shared_ptr<TQXRows>& rows, const std::shared_ptr<TQXCols>& cols)>;
    static void SetViewer(Viewer viewer);
    /// Opens the registered viewer; false when none is registered.
    static bool Open(const std::shared_ptr<TQXRows>& rows, const std::shared_ptr<TQXCols>& cols);
};
