#pragma once
// Owning buffers of plain elements on the C heap, and single-owner holders of
// heap objects of polymorphic classes (the pages hold their readers and
// writers in them). Qt-free.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vt {

// Resizable block of plain elements (realloc/free); contents not initialised.
// Invariant: data is null exactly when count is 0 after a failed or no allocation.
template <class T>
class CMemBuffBase {
  public:
    explicit CMemBuffBase(int n = 0) {
        if (n > 0) ReSize(n);
    }
    virtual ~CMemBuffBase() { Free(); }
    CMemBuffBase(const CMemBuffBase&) = delete;
    CMemBuffBase& operator=(const CMemBuffBase&) = delete;

    // Reallocates to n elements when n > 0 and differs from the count (contents
    // kept up to the smaller size); then count = n, or 0 when no block is held.
    virtual T* ReSize(int n) {
        if (n > 0 && n != count_) {
            void* p = std::realloc(data_, size_t(n) * sizeof(T));
            if (!p) {
                // A failed reallocation leaves no block.
                std::free(data_);
                data_ = nullptr;
            } else {
                data_ = static_cast<T*>(p);
            }
        }
        count_ = n;
        if (!data_) count_ = 0;
        return data_;
    }
    // At least n elements; never shrinks.
    virtual T* GetBuffer(int n) {
        if (count_ < n) ReSize(n);
        return data_;
    }
    virtual int FillAll(int v) { return Fill(v, count_); }
    virtual int Fill(int v, int n) {
        if (!data_ || n < 0 || n > count_) return 0;
        std::memset(data_, v, size_t(n) * sizeof(T));
        return 1;
    }
    virtual int CopyFrom(const CMemBuffBase& other) { return Copy(other.GetData(), other.GetCount()); }
    // The caller makes sure the block holds n elements.
    virtual int Copy(const T* src, int n) {
        if (!data_) return 0;
        if (n > 0 && src) std::memcpy(data_, src, size_t(n) * sizeof(T));
        return 1;
    }
    virtual int GetCount() const { return count_; }
    virtual int GetByteSize() const { return int(size_t(count_) * sizeof(T)); }
    virtual void Free() {
        std::free(data_);
        data_ = nullptr;
        count_ = 0;
    }

    T* GetData() const { return data_; }
    T* GetAt(int i) const { return data_ + i; }

  private:
    T* data_ = nullptr;
    int32_t count_ = 0;
};

// Holder of one heap object; deletes it through its virtual destructor.
template <class T>
class CMemBuffClassBase {
  public:
    CMemBuffClassBase() = default;
    virtual ~CMemBuffClassBase() { DeleteHeld(); }
    CMemBuffClassBase(const CMemBuffClassBase&) = delete;
    CMemBuffClassBase& operator=(const CMemBuffClassBase&) = delete;

    virtual void Release() { DeleteHeld(); }
    // Takes ownership of p, releasing what was held (never the same object).
    virtual void Attach(T* p) {
        if (p != nullptr && p == ptr_) return;
        Release();
        ptr_ = p;
    }
    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }

  protected:
    void DeleteHeld() {
        delete ptr_;
        ptr_ = nullptr;
    }
    T* ptr_ = nullptr;
};

// Holder that makes its object with T's default constructor.
template <class T>
class CMemBuffClassBaseConst : public CMemBuffClassBase<T> {
  public:
    CMemBuffClassBaseConst() { this->ptr_ = new (std::nothrow) T(); }
};

// Holder of one heap array of objects.
template <class T>
class CMemBuffClassArrayBase : public CMemBuffClassBase<T> {
  public:
    ~CMemBuffClassArrayBase() override { DeleteArray(); }
    void Release() override { DeleteArray(); }
    virtual void Alloc(int n) {
        Release();
        count_ = n;
        if (n > 0) this->ptr_ = new (std::nothrow) T[size_t(n)];
    }
    int GetCount() const { return count_; }
    T& operator[](int i) const { return this->ptr_[i]; }

  private:
    void DeleteArray() {
        delete[] this->ptr_;
        this->ptr_ = nullptr;
    }
    int32_t count_ = 0;
};

}  // namespace vt
