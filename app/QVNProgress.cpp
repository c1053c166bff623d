#include "QVNProgress.h"

namespace {
std::function<void()>& hookSlot()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void QVNEvents::SetHook(std::function<void()> hook)
{
    hookSlot() = std::move(hook);
}

void QVNEvents::DoEvents()
{
    if (auto& hook = hookSlot())
        hook();
}
