#pragma once

#include <QPointer>
#include <QWidget>

#include <typeindex>
#include <unordered_map>

namespace pb {

class AppContext;

// The program's shared windows: one instance of each class, created (and so
// loaded) on first use and forgotten when it closes, so that the next use
// starts afresh. Windows close with WA_DeleteOnClose and call forget() from
// their close handler.
class WindowRegistry
{
public:
    explicit WindowRegistry(AppContext& ctx) : ctx_(ctx) {}
    ~WindowRegistry();

    WindowRegistry(const WindowRegistry&) = delete;
    WindowRegistry& operator=(const WindowRegistry&) = delete;

    template <class W>
    W* get()
    {
        if (W* w = existing<W>())
            return w;
        auto* w = new W(ctx_);
        w->setAttribute(Qt::WA_DeleteOnClose);
        slots_[std::type_index(typeid(W))] = w;
        return w;
    }

    template <class W>
    W* existing() const
    {
        const auto it = slots_.find(std::type_index(typeid(W)));
        return it == slots_.end() ? nullptr : static_cast<W*>(it->second.data());
    }

    // Closes (unloads) the window if it exists.
    template <class W>
    void unload()
    {
        if (W* w = existing<W>())
            w->close();
    }

    void forget(QWidget* w);

private:
    AppContext& ctx_;
    std::unordered_map<std::type_index, QPointer<QWidget>> slots_;
};

} // namespace pb
