# vcpkg's triplet for the Windows workflow: 64-bit DLLs against the DLL runtime,
# release builds only (ICU, which libpsl needs on Windows, is not built twice).
set(VCPKG_TARGET_ARCHITECTURE x64)
set(VCPKG_CRT_LINKAGE dynamic)
set(VCPKG_LIBRARY_LINKAGE dynamic)
set(VCPKG_BUILD_TYPE release)
