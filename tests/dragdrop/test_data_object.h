// A data object as a drag source hands it to OLE: a table of formats, each
// with its bytes, the medium it comes in and the result GetData gives. Every
// medium it hands out is counted until the receiver releases it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace jxdd_test {

struct TestFormat {
    FORMATETC format;
    std::vector<BYTE> bytes;
    DWORD medium = TYMED_HGLOBAL;  // TYMED_HGLOBAL or TYMED_ISTREAM
    HRESULT getDataResult = S_OK;  // a failure is returned instead of data
};

FORMATETC GlobalFormat(CLIPFORMAT format);
std::vector<BYTE> UnicodeTextBytes(const std::wstring& text);
std::vector<BYTE> DropFilesBytes(const std::vector<std::wstring>& files);

class TestDataObject final : public IDataObject {
public:
    // Reference counted; use Create().
    static TestDataObject* Create(std::vector<TestFormat> formats, bool enumerable = true);

    // Media handed out and not yet released, and media that were still
    // locked when released.
    int OutstandingMedia() const { return media_->outstanding; }
    int MediaReleasedLocked() const { return media_->releasedLocked; }
    // The target device of each GetData call, null or a copy of its bytes.
    std::vector<std::vector<BYTE>> RequestedTargetDevices() const;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    struct MediaCount {
        std::atomic<int> outstanding{0};
        std::atomic<int> releasedLocked{0};
    };

private:
    TestDataObject(std::vector<TestFormat> formats, bool enumerable);
    const TestFormat* Find(const FORMATETC& format) const;

    std::atomic<ULONG> references_{1};
    std::vector<TestFormat> formats_;
    bool enumerable_;
    std::shared_ptr<MediaCount> media_ = std::make_shared<MediaCount>();
    mutable std::mutex lock_;
    std::vector<std::vector<BYTE>> requestedTargetDevices_;
};

// Releases a COM reference at scope end.
struct ReleaseReference {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using Owned = std::unique_ptr<Interface, ReleaseReference>;

}  // namespace jxdd_test
