#include "winui/link_accessible.h"

#include <oleacc.h>

#include <atomic>

#include "winui/system_library.h"

namespace ostrane::win {
namespace {

// oleacc is no known system DLL: never an import (a copy planted beside the
// installer would be loaded at start). Its two functions come from the system
// folder's copy when a screen reader first asks.
struct Oleacc {
  decltype(&::CreateStdAccessibleObject) createStandard = nullptr;
  decltype(&::LresultFromObject) resultFromObject = nullptr;

  static const Oleacc& Get() {
    static const Oleacc functions = Load();
    return functions;
  }

 private:
  static Oleacc Load() {
    const HMODULE dll = LoadSystemLibrary(L"oleacc.dll");
    return {SystemFunction<decltype(createStandard)>(dll, "CreateStdAccessibleObject"),
            SystemFunction<decltype(resultFromObject)>(dll, "LresultFromObject")};
  }
};

// {618736E0-3C3D-11CF-810C-00AA00389B71}, spelt out for the same reason.
constexpr IID kAccessibleInterface = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// Everything as the standard object says, but the role.
class LinkObject final : public IAccessible {
 public:
  explicit LinkObject(IAccessible* standard) : standard_(standard) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch) || IsEqualIID(id, kAccessibleInterface)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return standard_->GetIDsOfNames(id, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
    return standard_->Invoke(member, id, locale, flags, parameters, result, exception, argument);
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child) || role == nullptr) return standard_->get_accRole(child, role);
    ::VariantInit(role);
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_LINK;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return standard_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    return standard_->get_accHelp(child, help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
    return standard_->put_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_->put_accValue(child, value);
  }

 private:
  ~LinkObject() { standard_->Release(); }

  IAccessible* standard_;  // one reference, ours
  std::atomic<ULONG> references_{1};
};

}  // namespace

LRESULT AnswerAsLink(HWND control, WPARAM flags, LPARAM objectId) {
  if (static_cast<LONG>(objectId) != OBJID_CLIENT) return 0;
  const Oleacc& oleacc = Oleacc::Get();
  if (oleacc.createStandard == nullptr || oleacc.resultFromObject == nullptr) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(oleacc.createStandard(control, OBJID_CLIENT, kAccessibleInterface, reinterpret_cast<void**>(&standard))) ||
      standard == nullptr)
    return 0;
  auto* link = new LinkObject(standard);
  // The result holds its own reference to the object.
  const LRESULT result = oleacc.resultFromObject(kAccessibleInterface, flags, link);
  link->Release();
  return result < 0 ? 0 : result;
}

}  // namespace ostrane::win
