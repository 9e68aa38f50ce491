// Owns one reference to a COM-style object.
#pragma once

template <class T>
class ComReference {
public:
    ComReference() = default;
    // Takes over a reference the caller holds.
    explicit ComReference(T* object) : object_(object) {}
    ~ComReference() {
        if (object_) object_->Release();
    }
    ComReference(const ComReference&) = delete;
    ComReference& operator=(const ComReference&) = delete;
    T* operator->() const { return object_; }
    T* Get() const { return object_; }
    T** Receive() { return &object_; }

private:
    T* object_ = nullptr;
};
