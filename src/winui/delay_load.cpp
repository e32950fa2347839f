// Our own resolver for delay-loaded imports (the toolchain's delay-load libraries call
// __delayLoadHelper2 on the first call of each function): small enough to read, and
// serialised, so that threads making their first calls at once (analytics senders,
// picture fetches) resolve one after the other. The DLL search is restricted before
// anything is resolved (app/dll_search.cpp), so LoadLibrary finds the system's DLL.
#include <windows.h>
#include <delayimp.h>

#include <mutex>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // the linker's name for this image

namespace {

std::mutex& ResolveLock() {
  static auto* lock = new std::mutex;  // never destroyed: threads may resolve at exit
  return *lock;
}

template <typename T>
T At(const ImgDelayDescr* descriptor, DWORD address) {
  // Descriptors hold addresses relative to the image, or absolute ones in old ones.
  if (descriptor->grAttrs & dlattrRva)
    return reinterpret_cast<T>(reinterpret_cast<char*>(&__ImageBase) + address);
  return reinterpret_cast<T>(static_cast<UINT_PTR>(address));
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* iatEntry) {
  std::lock_guard lock(ResolveLock());
  auto* module = At<HMODULE*>(descriptor, descriptor->rvaHmod);
  const char* dll = At<const char*>(descriptor, descriptor->rvaDLLName);
  if (*module == nullptr) *module = ::LoadLibraryA(dll);
  if (*module == nullptr) {
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return nullptr;
  }
  const auto* iat = At<const FARPROC*>(descriptor, descriptor->rvaIAT);
  const auto* names = At<const IMAGE_THUNK_DATA*>(descriptor, descriptor->rvaINT);
  const IMAGE_THUNK_DATA& name = names[iatEntry - iat];
  FARPROC function = nullptr;
  if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) {
    function = ::GetProcAddress(*module, MAKEINTRESOURCEA(IMAGE_ORDINAL(name.u1.Ordinal)));
  } else {
    const auto* byName = At<const IMAGE_IMPORT_BY_NAME*>(descriptor, static_cast<DWORD>(name.u1.AddressOfData));
    function = ::GetProcAddress(*module, reinterpret_cast<const char*>(byName->Name));
  }
  if (function == nullptr) {
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND), EXCEPTION_NONCONTINUABLE, 0,
                     nullptr);
    return nullptr;
  }
  *iatEntry = function;
  return function;
}
