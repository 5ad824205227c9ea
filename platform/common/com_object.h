// The IUnknown part that every COM object of the backends shares: it offers
// no other interface, counts its references and deletes itself at the last
// Release. A backend's object derives from ComObject<Itself, Interface> and
// may define on_release() (every Release) and on_last_release() (just
// before it is deleted).
#pragma once

#include <windows.h>

template <class Object, class Interface>
struct ComObject : Interface {
  ULONG references = 1;

  HRESULT QueryInterface(REFIID, LPVOID* object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    auto* self = static_cast<Object*>(this);
    self->on_release();
    const ULONG left = --references;
    if (left == 0) {
      self->on_last_release();
      delete self;
    }
    return left;
  }
  void on_release() {}
  void on_last_release() {}
};
