/* Forced ahead of widl's proxy code under mingw-w64: the exception macros become plain blocks
   (a stand-in proxy does not guard its marshalling), and the IUnknown proxy helpers, which
   rpcrt4 exports but mingw's headers do not declare, get their declarations. The proxies are
   stubless (widl -Oif), so rpcproxy.h must see USE_STUBLESS_PROXY before widl's code does. */
#define USE_COMPILER_EXCEPTIONS
#define USE_STUBLESS_PROXY
#include <windows.h>
#include <objbase.h>
#include <rpc.h>
#include <rpcproxy.h>
#undef RpcTryExcept
#undef RpcExcept
#undef RpcEndExcept
#undef RpcTryFinally
#undef RpcFinally
#undef RpcEndFinally
#undef RpcExceptionCode
#define RpcTryExcept {
#define RpcExcept(expression) } if (0) {
#define RpcEndExcept }
#define RpcTryFinally {
#define RpcFinally }
#define RpcEndFinally
#define RpcExceptionCode() 0
#ifdef __cplusplus
extern "C" {
#endif
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** object);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#ifdef __cplusplus
}
#endif
