// Room for a backend's state inside the object that owns it; portable, header only.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

// Locks, events, threads and serial ports keep their OS state in place, not behind a pointer: a transfer
// opens a port, starts its reader and the engine's worker, and must not allocate; a lock may be a static
// made before main. Their headers still need no OS header. Each class gives the room its backends need
// (`Size`), and this is the one place that checks at compile time that a backend's state fits. Other
// classes, which no transfer makes, hide their backends behind a std::unique_ptr.
template <std::size_t Size>
class CInPlace {
public:
    CInPlace() = default;
    CInPlace(const CInPlace&) = delete;
    CInPlace& operator=(const CInPlace&) = delete;

    // Constructs the state; the owner destroys it with Destroy before the room goes.
    template <typename State, typename... Args>
    State& Make(Args&&... args) {
        CheckFits<State>();
        return *new (m_bytes) State(std::forward<Args>(args)...);
    }

    template <typename State>
    State& Get() {
        CheckFits<State>();
        return *std::launder(reinterpret_cast<State*>(m_bytes));
    }

    template <typename State>
    const State& Get() const {
        CheckFits<State>();
        return *std::launder(reinterpret_cast<const State*>(m_bytes));
    }

    template <typename State>
    void Destroy() {
        Get<State>().~State();
    }

private:
    template <typename State>
    static constexpr void CheckFits() {
        static_assert(sizeof(State) <= Size, "the backend's state does not fit: give its class more room");
        static_assert(alignof(State) <= alignof(std::max_align_t),
                      "the backend's state needs a wider alignment");
    }

    alignas(std::max_align_t) unsigned char m_bytes[Size];
};
