/* A DLL that stands where the Firebird client is looked for. Built plain it exports nothing a
 * client would; with VR_EXPORT_MASTER it exports fb_get_master_interface, which offers no
 * interface, so that a load of it shows as that message with the file's path. */
#ifdef VR_EXPORT_MASTER
__declspec(dllexport) void* __stdcall fb_get_master_interface(void) { return 0; }
#else
__declspec(dllexport) int vr_standin_library(void) { return 1; }
#endif
