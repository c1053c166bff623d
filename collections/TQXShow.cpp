#include "TQXShow.h"

#include "TQXCols.h"
#include "TQXRows.h"

namespace {
TQXShow::Viewer& viewer()
{
    static TQXShow::Viewer v;
    return v;
}

/// A reference to a set the caller owns, for the length of a modal viewer.
template <typename T> std::shared_ptr<T> borrowed(const T* set)
{
    return std::shared_ptr<T>(std::shared_ptr<T>(), const_cast<T*>(set));
}
} // namespace

void TQXShow::SetViewer(Viewer v)
{
    viewer() = std::move(v);
}

bool TQXShow::Open(const std::shared_ptr<TQXRows>& rows, const std::shared_ptr<TQXCols>& cols)
{
    if (!viewer())
        return false;
    viewer()(rows, cols);
    return true;
}

bool TQXRows::Show() const
{
    return TQXShow::Open(borrowed(this), TQXCols::Create());
}

bool TQXCols::Show() const
{
    return TQXShow::Open(TQXRows::Create(), borrowed(this));
}
