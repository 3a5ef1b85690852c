/* Stand-in for the control Brevolt.ocx: a real self-registering DLL whose
   registration is a key of its own, so that a regsvr32 run can be seen. */
#include <windows.h>
#include <olectl.h>
#include "record.h"

#define BREVOLT_KEY "SOFTWARE\\Classes\\BrevoltStandin.Control"
#define BREVOLT_CLSID_KEY BREVOLT_KEY "\\CLSID"
#define BREVOLT_CLSID "{6A1F3C52-8D04-4B7E-9E21-3C5B7D90A4E8}"

HRESULT __stdcall DllRegisterServer(void);
HRESULT __stdcall DllUnregisterServer(void);

HRESULT __stdcall DllRegisterServer(void)
{
    HKEY key = NULL;
    HRESULT result = SELFREG_E_CLASS;

    RecordStart("Brevolt.ocx", "register");
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, BREVOLT_CLSID_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        goto cleanup;
    if (RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)BREVOLT_CLSID, sizeof BREVOLT_CLSID) != ERROR_SUCCESS)
        goto cleanup;
    result = S_OK;

cleanup:
    if (key)
        RegCloseKey(key);
    return result;
}

HRESULT __stdcall DllUnregisterServer(void)
{
    RecordStart("Brevolt.ocx", "unregister");
    /* A control that was never registered unregisters without complaint. */
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, BREVOLT_CLSID_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, BREVOLT_KEY);
    return S_OK;
}
