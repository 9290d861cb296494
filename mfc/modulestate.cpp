// The module state and the base module: plain static objects, constant
// initialised in this order (MFC's module state, then ATL's base module), so
// that nothing runs when the module loads. Each fills itself in on first use.
#include "zqmfc.h"

namespace {

constinit AFX_MODULE_STATE g_moduleState = {nullptr, nullptr};

// The module that holds this code, found from an address inside it.
HINSTANCE ThisModule() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&g_moduleState), &module);
  return module;
}

}  // namespace

constinit ATL::CAtlBaseModule ATL::_AtlBaseModule;

AFX_MODULE_STATE* AfxGetModuleState() noexcept {
  if (!g_moduleState.m_hCurrentInstanceHandle) g_moduleState.m_hCurrentInstanceHandle = ThisModule();
  if (!g_moduleState.m_hCurrentResourceHandle) {
    g_moduleState.m_hCurrentResourceHandle = g_moduleState.m_hCurrentInstanceHandle;
  }
  return &g_moduleState;
}

HINSTANCE AfxGetInstanceHandle() noexcept { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() noexcept { return AfxGetModuleState()->m_hCurrentResourceHandle; }
void AfxSetResourceHandle(HINSTANCE hInstance) noexcept { AfxGetModuleState()->m_hCurrentResourceHandle = hInstance; }

HINSTANCE ATL::CAtlBaseModule::GetModuleInstance() noexcept {
  if (!m_hInst) m_hInst = ThisModule();
  return m_hInst;
}

HINSTANCE ATL::CAtlBaseModule::GetResourceInstance() noexcept {
  if (!m_hInstResource) m_hInstResource = GetModuleInstance();
  return m_hInstResource;
}
