// Replaces one system function for the calls that the test program itself
// makes (the foundation linked into it included) while the object lives, by
// rewriting the program's import table entry: for failures that the system
// will not produce on demand.
#pragma once
#include <windows.h>
#include <string.h>

class ImportPatch {
public:
    // `function` imported by name from any DLL; `replacement` has its type.
    template <class F>
    ImportPatch(const char* function, F* replacement) {
        entry_ = FindEntry(function);
        if (entry_) Write(reinterpret_cast<ULONG_PTR>(replacement), &original_);
    }
    ~ImportPatch() {
        if (entry_) Write(original_, nullptr);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Installed() const { return entry_ != nullptr; }

private:
    static ULONG_PTR* FindEntry(const char* function) {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll) {
            auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
            auto addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++addresses) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function);
            }
        }
        return nullptr;
    }

    void Write(ULONG_PTR value, ULONG_PTR* previous) {
        DWORD protection = 0;
        VirtualProtect(entry_, sizeof *entry_, PAGE_READWRITE, &protection);
        if (previous) *previous = *entry_;
        *entry_ = value;
        VirtualProtect(entry_, sizeof *entry_, protection, &protection);
    }

    ULONG_PTR* entry_ = nullptr;
    ULONG_PTR original_ = 0;
};
