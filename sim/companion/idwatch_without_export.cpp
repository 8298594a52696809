// A presence DLL that loads but lacks the probe export.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI SomethingElse(int, int) { return 1; }
