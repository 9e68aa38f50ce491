// The process-wide IRecordInfo objects for str, interface and value records.
#include "text/record_info.h"
#include <stdint.h>
#include <string.h>
#include "runtime/host_alloc.h"
#include "text/str.h"

namespace {
// What the static objects answer to AddRef and Release.
constexpr ULONG kStaticRefCount = 1;

using ClearRecordFn = HRESULT (*)(void* record);
using CopyRecordFn = HRESULT (*)(const void* source, void* target);

class StaticRecordInfo final : public IRecordInfo {
public:
    constexpr StaticRecordInfo(ULONG size, ClearRecordFn clear, CopyRecordFn copy)
        : size_(size), clear_(clear), copy_(copy) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRecordInfo)) {
            *object = static_cast<IRecordInfo*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return kStaticRefCount; }
    ULONG STDMETHODCALLTYPE Release() override { return kStaticRefCount; }

    // A zeroed record is a valid empty one of every kind.
    HRESULT STDMETHODCALLTYPE RecordInit(PVOID record) override {
        if (!record) return E_INVALIDARG;
        memset(record, 0, size_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RecordClear(PVOID record) override {
        return record ? clear_(record) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE RecordCopy(PVOID source, PVOID target) override {
        return source && target ? copy_(source, target) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSize(ULONG* size) override {
        if (!size) return E_POINTER;
        *size = size_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT*, PVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG*, BSTR*) override { return E_NOTIMPL; }
    WINBOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo* other) override { return other == this; }

    PVOID STDMETHODCALLTYPE RecordCreate() override { return HostCallocOne(size_); }
    HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID source, PVOID* target) override {
        if (!source || !target) return E_INVALIDARG;
        *target = nullptr;
        HostBlock record(RecordCreate());
        if (!record.block) return E_OUTOFMEMORY;
        const HRESULT hr = copy_(source, record.block);
        if (SUCCEEDED(hr)) *target = record.Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID record) override {
        if (!record) return S_OK;
        const HRESULT hr = clear_(record);
        HostFree(record);
        return hr;
    }

private:
    ULONG size_;
    ClearRecordFn clear_;
    CopyRecordFn copy_;
};

HRESULT ClearStr(void* record) {
    static_cast<str*>(record)->Clear();
    return S_OK;
}

// Called by OLE: an allocation failure becomes an error code.
HRESULT CopyStr(const void* source, void* target) {
    try {
        static_cast<str*>(target)->Assign(*static_cast<const str*>(source));
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ClearInterface(void* record) {
    IUnknown*& slot = *static_cast<IUnknown**>(record);
    if (slot) slot->Release();
    slot = nullptr;
    return S_OK;
}

HRESULT CopyInterface(const void* source, void* target) {
    IUnknown* added = *static_cast<IUnknown* const*>(source);
    IUnknown*& slot = *static_cast<IUnknown**>(target);
    if (added) added->AddRef();
    if (slot) slot->Release();
    slot = added;
    return S_OK;
}

HRESULT ClearValue(void* record) {
    memset(record, 0, sizeof(uint32_t));
    return S_OK;
}

HRESULT CopyValue(const void* source, void* target) {
    memcpy(target, source, sizeof(uint32_t));
    return S_OK;
}

constinit StaticRecordInfo g_strRecords(sizeof(str), ClearStr, CopyStr);
constinit StaticRecordInfo g_interfaceRecords(sizeof(IUnknown*), ClearInterface, CopyInterface);
constinit StaticRecordInfo g_valueRecords(sizeof(uint32_t), ClearValue, CopyValue);
}  // namespace

IRecordInfo* StrRecordInfo() { return &g_strRecords; }
IRecordInfo* InterfaceRecordInfo() { return &g_interfaceRecords; }
IRecordInfo* ValueRecordInfo() { return &g_valueRecords; }
