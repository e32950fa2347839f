// What a downloaded file is, decided from its contents alone: the name it came with
// and its first bytes may say anything. What starts, and how it is checked, follows
// from this.
#pragma once

#include <string>
#include <string_view>

#include "download/zip_reader.h"

namespace ostrane {

enum class PackageKind {
  Program,           // a Windows program: valid PE headers of an executable image, not a DLL
  WindowsInstaller,  // a compound file, as Windows Installer packages (.msi) are
  Zip,               // starts with a ZIP local header
  Other,             // anything else: a script, a document, a library, a truncated file
};

PackageKind PackageKindOf(zip::ByteSource& file);

// Any PE image, programs and libraries alike (a DLL may be loaded under any name).
bool IsPortableExecutable(zip::ByteSource& file);

// The extension a file of this kind must end in before it is checked and started:
// the Shell and the loader go by the name, so the name must say what the file is.
// Empty for kinds that never start.
std::wstring_view ExtensionFor(PackageKind kind);

// The path with the kind's extension added when its name does not already end in it
// (any case).
std::wstring NameForKind(std::wstring_view path, PackageKind kind);

// Whether a file unpacked from an archive is code that Windows may load or run by its
// name (programs, libraries, controls, drivers, installer packages, scripts): such a
// file must carry a trusted signature unless the whole archive is vouched for.
bool IsCodeByName(std::wstring_view name);

}  // namespace ostrane
