#pragma once
// The one kind of object the COM stand-ins serve: an IUnknown that also answers the interface IIDs
// it was made for (each of the proxy's interfaces has the same single method, Ping), and its
// class factory. Both count their objects so that a server knows when the last one went away.

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <vector>

namespace standins {

// The layout every interface of the stand-in proxy shares.
struct IEnginePing : IUnknown {
  virtual ~IEnginePing() = default;
  virtual HRESULT STDMETHODCALLTYPE Ping(LONG value, LONG* answer) = 0;
};

// Called when the number of live objects of all factories drops to zero.
using LastObjectGone = void (*)();

class EngineObject : public IEnginePing {
 public:
  EngineObject(std::vector<const GUID*> iids, LastObjectGone gone);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Answers value + 1, so that a caller sees the call crossed to this object.
  HRESULT STDMETHODCALLTYPE Ping(LONG value, LONG* answer) override;

  static long LiveObjects();

 private:
  std::atomic<ULONG> references_{1};
  std::vector<const GUID*> iids_;
  LastObjectGone gone_;
};

class EngineClassFactory : public IClassFactory {
 public:
  EngineClassFactory(std::vector<const GUID*> iids, LastObjectGone gone);
  virtual ~EngineClassFactory() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  std::atomic<ULONG> references_{1};
  std::vector<const GUID*> iids_;
  LastObjectGone gone_;
};

}  // namespace standins
