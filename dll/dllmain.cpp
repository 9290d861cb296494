// zqplatutilu.dll is passive: nothing runs at load beyond static initialisers.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
