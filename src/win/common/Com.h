#pragma once
// Component objects for the Windows layers: an owning interface pointer, and the apartment of one thread.

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace quorvel::win {

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own.
    explicit ComPtr(T* object) : m_object(object)
    {
        if (m_object)
            m_object->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_object) {}
    ComPtr(ComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->Release();
    }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // For a call that hands out a new reference: what was held is released first.
    T** put()
    {
        reset();
        return &m_object;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    template <typename U> ComPtr<U> as(REFIID iid) const
    {
        ComPtr<U> other;
        if (m_object)
            m_object->QueryInterface(iid, other.putVoid());
        return other;
    }

private:
    T* m_object = nullptr;
};

// CoInitializeEx for the lifetime of the object, on the thread that made it.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : m_result(CoInitializeEx(nullptr, model)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

} // namespace quorvel::win
