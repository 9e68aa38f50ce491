// Record descriptors that let arrays of strings, interface pointers and plain
// 32-bit values travel in SAFEARRAYs of records to and from the host.
//
// The three objects live for the whole process; AddRef and Release do not
// count, and names, GUIDs and fields are not described (E_NOTIMPL).
#pragma once
#include <oaidl.h>

// Records that are `str` values: clear frees the text, copy assigns it.
IRecordInfo* StrRecordInfo();
// Records that are interface pointers: clear releases and nulls, copy
// adds a reference to the source and releases the old target.
IRecordInfo* InterfaceRecordInfo();
// Records of 4 plain bytes: clear zeroes, copy copies.
IRecordInfo* ValueRecordInfo();
