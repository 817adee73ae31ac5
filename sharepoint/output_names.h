// Names and paths of the saved documents: every name read from the data file becomes one safe path
// component of at most 255 UTF-8 bytes, files are only ever created new, and clashes are resolved by one
// numbering rule ("name[1].ext", "name[2].ext", ...) shared by files and substitute folders.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace sharepoint {

constexpr std::size_t kMaxNameBytes = 255;  // longest file or folder name the file systems take
constexpr int kMaxNumberedTries = 300;      // numbered names tried after the plain one

// The name as one path component: "/", "\", NUL and other control characters become "_", "|" becomes a
// blank, an empty name, "." and ".." get a placeholder, and a name over 255 UTF-8 bytes is shortened in
// front of its extension. Every other character is kept.
std::u16string SafeName(std::u16string_view name);
// The safe name with "[number]" in front of its extension (the part from the last "." that is not the
// first character), shortened the same way.
std::u16string NumberedName(std::u16string_view safe_name, int number);
// Bytes the text takes in UTF-8, as the path gets it.
using platform::Utf8Length;
// folder + "/" + SafeName(name).
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);
// True when path, taken lexically, lies inside folder (or is folder itself).
bool IsInsideFolder(std::u16string_view folder, std::u16string_view path);

// Makes the folder; true when it exists as a folder afterwards (an existing one is used as it is).
bool MakeFolder(const std::u16string& path, std::string* error = nullptr);

// A file created new (never an existing one), with the path it got.
struct NewFile {
    std::FILE* file = nullptr;
    std::u16string path;   // the path created, or the last one tried
    std::string error;     // why no file was created
};
// Creates SafeName(name) in folder, or its numbered names when that exists; gives up after
// kMaxNumberedTries with an error that says so.
NewFile CreateNewFile(const std::u16string& folder, std::u16string_view name);
// Makes a folder that did not exist before in parent: SafeName(name) or its numbered names. Empty path and
// error set when none could be made.
std::u16string MakeNewFolder(const std::u16string& parent, std::u16string_view name, std::string* error = nullptr);

}  // namespace sharepoint
