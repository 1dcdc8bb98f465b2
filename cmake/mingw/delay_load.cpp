// mingw-w64 only: the helper that the delay-import thunks call at the first use of each function the
// launchers import from a delay-loaded DLL. The toolchain's own helper (delayimp.o) also serves
// unloading, bound imports and notification hooks, none of which the launchers use, and costs them
// 1.6 KiB. Binding here is safe from any thread: a second thread that binds the same function at the
// same moment loads the same module and writes the same address.
#include <windows.h>
#include <delayimp.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The descriptors that dlltool writes hold relative addresses (dlattrRva).
template <typename T>
T* AtRva(RVA rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

// A system DLL or function that cannot be found leaves nothing to run with: the process ends with the
// exception the toolchain's helper raises, which nobody handles.
[[noreturn]] void Fail(DWORD error) {
  ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, error), EXCEPTION_NONCONTINUABLE, 0, nullptr);
  ::ExitProcess(static_cast<UINT>(-1));
}

HMODULE LoadModule(const ImgDelayDescr& descriptor) {
  HMODULE* module = AtRva<HMODULE>(descriptor.rvaHmod);
  if (*module != nullptr) return *module;
  // The names in the import table are ASCII.
  const char* ascii = AtRva<const char>(descriptor.rvaDLLName);
  wchar_t name[MAX_PATH] = {};
  for (int i = 0; i < MAX_PATH - 1 && ascii[i] != '\0'; ++i) name[i] = static_cast<unsigned char>(ascii[i]);
  const HMODULE loaded = ::LoadLibraryW(name);
  if (loaded == nullptr) Fail(ERROR_MOD_NOT_FOUND);
  *module = loaded;
  return loaded;
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
  const HMODULE module = LoadModule(*descriptor);
  // The name table runs parallel to the address table.
  const IMAGE_THUNK_DATA& entry =
      AtRva<IMAGE_THUNK_DATA>(descriptor->rvaINT)[slot - AtRva<FARPROC>(descriptor->rvaIAT)];
  const char* name = reinterpret_cast<const char*>(IMAGE_ORDINAL(entry.u1.Ordinal));
  if (!IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)) {
    name = AtRva<IMAGE_IMPORT_BY_NAME>(static_cast<RVA>(entry.u1.AddressOfData))->Name;
  }
  const FARPROC function = ::GetProcAddress(module, name);
  if (function == nullptr) Fail(ERROR_PROC_NOT_FOUND);
  *slot = function;
  return function;
}
