// The owner of a handle that a library gives back through one function (a window system's object, a
// loaded DLL, a database connection); portable and header-only, so that only the programs that use such
// a handle link what frees it.
#pragma once

// One owned handle (null for none), given back through `Release::Free` at the end of its life.
template <typename Handle, typename Release>
class CFreedHandle {
public:
    CFreedHandle() = default;
    ~CFreedHandle() { Reset(); }
    CFreedHandle(const CFreedHandle&) = delete;
    CFreedHandle& operator=(const CFreedHandle&) = delete;

    Handle Get() const { return m_handle; }
    // Frees the handle held, if any, and takes `handle`.
    void Reset(Handle handle = nullptr) {
        if (m_handle != nullptr) {
            Release::Free(m_handle);
        }
        m_handle = handle;
    }

private:
    Handle m_handle = nullptr;
};
