// Where the installer's DLLs may come from: the system folder only. It runs from
// folders like Downloads, where anyone could have left a DLL named like one of ours.
#pragma once

namespace ostrane {

// Call first thing: later loads, the delay-loaded imports among them, search only
// the system folder. Windows 7 without the update that brought the call gets each
// delay-loaded DLL loaded now by its full system path instead.
void RestrictDllSearchToSystemFolder();

}  // namespace ostrane
