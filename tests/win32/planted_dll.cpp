// A DLL planted beside the test program, under a name no system has.
extern "C" __declspec(dllexport) void Planted() {}
