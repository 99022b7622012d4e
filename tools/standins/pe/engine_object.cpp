#include "engine_object.h"

namespace standins {
namespace {

std::atomic<long> live_objects{0};

void ObjectGone(LastObjectGone gone) {
  if (--live_objects == 0 && gone) gone();
}

}  // namespace

EngineObject::EngineObject(std::vector<const GUID*> iids, LastObjectGone gone)
    : iids_(std::move(iids)), gone_(gone) {
  ++live_objects;
}

HRESULT EngineObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  bool known = IsEqualGUID(iid, IID_IUnknown);
  for (const GUID* one : iids_) known = known || IsEqualGUID(iid, *one);
  if (!known) return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IEnginePing*>(this);
  return S_OK;
}

ULONG EngineObject::AddRef() { return ++references_; }

ULONG EngineObject::Release() {
  ULONG left = --references_;
  if (left == 0) {
    LastObjectGone gone = gone_;
    delete this;
    ObjectGone(gone);
  }
  return left;
}

HRESULT EngineObject::Ping(LONG value, LONG* answer) {
  if (!answer) return E_POINTER;
  *answer = value + 1;
  return S_OK;
}

long EngineObject::LiveObjects() { return live_objects; }

EngineClassFactory::EngineClassFactory(std::vector<const GUID*> iids, LastObjectGone gone)
    : iids_(std::move(iids)), gone_(gone) {}

HRESULT EngineClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory))
    return E_NOINTERFACE;
  AddRef();
  *object = static_cast<IClassFactory*>(this);
  return S_OK;
}

ULONG EngineClassFactory::AddRef() { return ++references_; }

ULONG EngineClassFactory::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT EngineClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* created = new EngineObject(iids_, gone_);
  HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

HRESULT EngineClassFactory::LockServer(BOOL) { return S_OK; }

}  // namespace standins
