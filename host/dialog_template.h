// A dialog template built in memory: a modal, centred frame with its title
// and font, then its items, for the reference host's dialogs.
#pragma once
#include <windows.h>
#include <vector>

namespace jxhost {

class DialogTemplate {
public:
    // Sizes in dialog units.
    DialogTemplate(const wchar_t* title, short width, short height);
    void Item(const wchar_t* className, const wchar_t* text, WORD id, DWORD style, short x, short y, short cx,
              short cy);
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Append(const void* data, size_t bytes);
    void Word(WORD value) { words_.push_back(value); }
    void Text(const wchar_t* text);

    std::vector<WORD> words_;
};

}  // namespace jxhost
