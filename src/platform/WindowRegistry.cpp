#include "platform/WindowRegistry.h"

namespace pb {

WindowRegistry::~WindowRegistry()
{
    for (auto& [type, w] : slots_)
        delete w.data();
}

void WindowRegistry::forget(QWidget* w)
{
    for (auto it = slots_.begin(); it != slots_.end(); ++it) {
        if (it->second == w) {
            slots_.erase(it);
            return;
        }
    }
}

} // namespace pb
