// Path notation of the libraries, special folders and the search for files.
//
// A path may begin with a special-folder name between two dollar signs
// ("$temp$\JX") or with environment variables between percent signs
// ("%APPDATA%\x"); a relative path may be taken relative to a base folder.
// Failures leave the system error as the thread's last error.
#pragma once
#include <windows.h>
#include <shtypes.h>
#include "text/str.h"

// Special folders that the libraries resolve themselves; lower ids are CSIDL values.
enum LibraryFolderId : int {
    kFolderHostProgram = 240,  // the host program's folder
    kFolderPrivate = 241,      // the host's private folder for the user (PathSettings)
    kFolderTemp = 242,         // the system's temporary folder, long form
    kFolderMedia = 243,        // the Windows "Media" folder
    kFolderLibraryTemp = 244,  // the libraries' own temporary folder
    kFolderHostDrive = 245,    // the root of the host program's drive, such as "C:"
};

// Process-wide settings that the libraries read and never change; a program
// that links the foundation may set them.
struct PathSettings {
    str privateFolder;      // folder 241; while empty, that folder does not resolve
    bool portable = false;  // folder 244 then ends with "-portable"
};
extern PathSettings g_pathSettings;

// Expands `path` (null: out's own text) into `out` and returns out's text:
// environment variables, then a special-folder name, then the join with
// `base` when the result is not a full path. Unknown names stay as written.
const char* ExpandPath(str& out, const char* path, const char* base = nullptr);
// ExpandPath only when `path` uses the notation or needs `base`; otherwise
// `path` itself is returned and `out` is not touched.
const char* ExpandPathIfNeeded(str& out, const char* path, const char* base = nullptr);
// A drive letter and colon, or a leading backslash.
bool IsFullPath(const char* path);
// `path` expanded and made full against the current folder. False with the
// system's error.
bool GetFullPath(str& out, const char* path);
// A UTF-16 path in the form the system's file functions take past their
// limits (MAX_PATH, and 248 units for folders): from kLongPathFrom units on
// it is made full and marked "\\?\" (a drive) or "\\?\UNC\" (a share).
// Shorter paths, marked ones and devices stay as they are.
constexpr int kLongPathFrom = MAX_PATH - 12;
void ToLongPathForm(str& wide);
// A UTF-16 path as 8-bit text without the mark of the long form, as a
// person writes it.
void FromLongPathForm(str& out, const wchar_t* wide);

// A name of the special-folder table, or a CSIDL number ("5", "0x1A"), to its
// folder without a trailing backslash. False (and `out` empty) when unknown.
bool ResolveSpecialFolder(str& out, const char* name);
// The file-system path of a shell item, or for items without one a text of
// their bytes (":: " then hexadecimal). False only for a null list.
bool ShellItemIdToText(str& out, PCIDLIST_ABSOLUTE idList);

// Flags of GetLongOrShortPath
enum LongShortFlag : unsigned {
    kPathLongForm = 1,           // else the short (8.3) form
    kPathShortWithoutSpace = 2,  // a short form with a space fails; a failed path with one is quoted
};
// On failure `out` receives the (expanded) path as given, and false.
bool GetLongOrShortPath(str& out, const char* path, unsigned flags);

// Flags of SearchFile
enum SearchFileFlag : unsigned {
    kSearchSplitIconIndex = 1,      // drop a trailing ",index" first
    kSearchSpecialNames = 2,        // accept ":" names that the host's hooks resolve
    kSearchRetryWithoutFolder = 4,  // not in the default folder: search the system's search order
};
// Finds a file: the user's private folder first, then `defaultFolder` or the
// system's search order, finally a program's "App Paths" registration.
// `out` receives the full path; it is untouched when nothing is found.
bool SearchFile(str& out, const char* name, const char* defaultFolder = nullptr, unsigned flags = 0);

// Cuts a trailing "," with digits (a leading "-" allowed) off `path` and
// stores their value in `index`. False, and nothing changed, without one.
bool SplitIconIndex(str& path, int& index);

// Expands the environment variables in `text` into `out`. False when the
// system fails or the result exceeds its limit of 32767 units.
bool ExpandEnvironmentVariables(str& out, const wchar_t* text);

// The arguments part of the process's command line ("" without one).
const char* GetCommandLineArguments();
