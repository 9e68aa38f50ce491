#include "test_data_object.h"
#include <shlobj.h>
#include <string.h>

namespace jxdd_test {
namespace {

// The pUnkForRelease of each handed-out medium: counts its release and
// frees the memory it owns.
class MediumRelease final : public IUnknown {
public:
    MediumRelease(HGLOBAL memory, std::shared_ptr<TestDataObject::MediaCount> count)
        : memory_(memory), count_(std::move(count)) {
        ++count_->outstanding;
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) {
            if (memory_ && (GlobalFlags(memory_) & GMEM_LOCKCOUNT) != 0) ++count_->releasedLocked;
            if (memory_) GlobalFree(memory_);
            --count_->outstanding;
            delete this;
        }
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
    HGLOBAL memory_;  // null when a stream owns it
    std::shared_ptr<TestDataObject::MediaCount> count_;
};

class FormatEnumerator final : public IEnumFORMATETC {
public:
    explicit FormatEnumerator(std::vector<FORMATETC> formats) : formats_(std::move(formats)) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumFORMATETC)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    // The caller owns each record's target device.
    STDMETHODIMP Next(ULONG count, FORMATETC* out, ULONG* fetched) override {
        ULONG done = 0;
        for (; done < count && next_ < formats_.size(); ++done, ++next_) {
            out[done] = formats_[next_];
            if (const DVTARGETDEVICE* device = formats_[next_].ptd) {
                out[done].ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(device->tdSize));
                memcpy(out[done].ptd, device, device->tdSize);
            }
        }
        if (fetched) *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        next_ += count;
        return next_ <= formats_.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumFORMATETC**) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> references_{1};
    std::vector<FORMATETC> formats_;
    size_t next_ = 0;
};

std::vector<BYTE> CopyOf(const DVTARGETDEVICE* device) {
    if (!device) return {};
    const auto* bytes = reinterpret_cast<const BYTE*>(device);
    return {bytes, bytes + device->tdSize};
}

HGLOBAL GlobalCopy(const std::vector<BYTE>& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory || bytes.empty()) return memory;
    memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    return memory;
}

}  // namespace

FORMATETC GlobalFormat(CLIPFORMAT format) { return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

std::vector<BYTE> UnicodeTextBytes(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)};
}

std::vector<BYTE> DropFilesBytes(const std::vector<std::wstring>& files) {
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::vector<BYTE> bytes(sizeof header);
    memcpy(bytes.data(), &header, sizeof header);
    for (const std::wstring& file : files) {
        std::vector<BYTE> name = UnicodeTextBytes(file);
        bytes.insert(bytes.end(), name.begin(), name.end());
    }
    bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    return bytes;
}

TestDataObject* TestDataObject::Create(std::vector<TestFormat> formats, bool enumerable) {
    return new TestDataObject(std::move(formats), enumerable);
}

TestDataObject::TestDataObject(std::vector<TestFormat> formats, bool enumerable)
    : formats_(std::move(formats)), enumerable_(enumerable) {}

std::vector<std::vector<BYTE>> TestDataObject::RequestedTargetDevices() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requestedTargetDevices_;
}

STDMETHODIMP TestDataObject::QueryInterface(REFIID iid, void** object) {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TestDataObject::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) TestDataObject::Release() {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

const TestFormat* TestDataObject::Find(const FORMATETC& format) const {
    for (const TestFormat& offered : formats_) {
        if (offered.format.cfFormat == format.cfFormat && offered.format.dwAspect == format.dwAspect &&
            (offered.medium & format.tymed))
            return &offered;
    }
    return nullptr;
}

STDMETHODIMP TestDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        requestedTargetDevices_.push_back(CopyOf(format->ptd));
    }
    const TestFormat* offered = Find(*format);
    if (!offered) return DV_E_FORMATETC;
    if (FAILED(offered->getDataResult)) return offered->getDataResult;

    HGLOBAL memory = GlobalCopy(offered->bytes);
    if (!memory) return E_OUTOFMEMORY;
    *medium = {};
    if (offered->medium == TYMED_ISTREAM) {
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
            GlobalFree(memory);
            return E_OUTOFMEMORY;
        }
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        medium->pUnkForRelease = new MediumRelease(nullptr, media_);
    } else {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = new MediumRelease(memory, media_);
    }
    return S_OK;
}

STDMETHODIMP TestDataObject::QueryGetData(FORMATETC* format) { return Find(*format) ? S_OK : DV_E_FORMATETC; }

STDMETHODIMP TestDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP TestDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) {
    *enumerator = nullptr;
    if (!enumerable_) return E_NOTIMPL;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    for (const TestFormat& offered : formats_) formats.push_back(offered.format);
    *enumerator = new FormatEnumerator(std::move(formats));
    return S_OK;
}

}  // namespace jxdd_test
