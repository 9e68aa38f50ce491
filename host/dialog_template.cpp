#include "dialog_template.h"
#include <string.h>
#include <wchar.h>

namespace jxhost {
namespace {
constexpr WORD kFontPoints = 8;
}

DialogTemplate::DialogTemplate(const wchar_t* title, short width, short height) {
    DLGTEMPLATE dialog = {};
    dialog.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    dialog.cx = width;
    dialog.cy = height;
    Append(&dialog, sizeof dialog);
    Word(0);  // no menu
    Word(0);  // the default dialog class
    Text(title);
    Word(kFontPoints);
    Text(L"MS Shell Dlg");
}

void DialogTemplate::Item(const wchar_t* className, const wchar_t* text, WORD id, DWORD style, short x, short y,
                          short cx, short cy) {
    if (words_.size() % 2) Word(0);  // items start on a DWORD
    DLGITEMTEMPLATE item = {};
    item.style = style;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Append(&item, sizeof item);
    Text(className);
    Text(text);
    Word(0);  // no creation data
    ++reinterpret_cast<DLGTEMPLATE*>(words_.data())->cdit;
}

void DialogTemplate::Append(const void* data, size_t bytes) {
    const size_t at = words_.size();
    words_.resize(at + bytes / sizeof(WORD));
    memcpy(words_.data() + at, data, bytes);
}

void DialogTemplate::Text(const wchar_t* text) { Append(text, (wcslen(text) + 1) * sizeof(wchar_t)); }

}  // namespace jxhost
