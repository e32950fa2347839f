// What a screen reader hears of a control, read through oleacc as one would.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

namespace ostrane::testing {

struct Heard {
  bool answered = false;  // oleacc gave an object for the window
  std::wstring name;
  long role = 0;
};

inline Heard WhatAScreenReaderHears(HWND control) {
  Heard heard;
  const HRESULT com = ::CoInitialize(nullptr);
  IAccessible* object = nullptr;
  if (SUCCEEDED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                             reinterpret_cast<void**>(&object))) &&
      object != nullptr) {
    heard.answered = true;
    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(self, &name)) && name != nullptr) {
      heard.name = name;
      ::SysFreeString(name);
    }
    VARIANT role;
    ::VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) heard.role = role.lVal;
    object->Release();
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return heard;
}

}  // namespace ostrane::testing
