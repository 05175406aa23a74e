# The oldest Windows the DLL and seat-enrol.exe run on, in _WIN32_WINNT's
# form (0xMMmm: major and minor version): Windows Vista, 6.0. Every Windows
# build compiles against it (_WIN32_WINNT and WINVER, cmake/Seatenrol.cmake),
# every DLL and program names it as OS and subsystem version in its header
# (cmake/mingw-w64-common.cmake), scripts/check-imports.sh admits only the
# imports cmake/imports-windows.txt lists for it, and seat-enrol.exe's
# manifest declares it and each later Windows (cmake/seat-enrol.manifest.in).
# Scripts read the value from the set() line below.
set(SEATENROL_WINDOWS_FLOOR 0x0600)
set(SEATENROL_WINDOWS_FLOOR_NAME "Windows Vista")
math(EXPR SEATENROL_WINDOWS_FLOOR_MAJOR "${SEATENROL_WINDOWS_FLOOR} >> 8")
math(EXPR SEATENROL_WINDOWS_FLOOR_MINOR "${SEATENROL_WINDOWS_FLOOR} & 0xFF")

# The supportedOS ids of an application manifest, one per Windows
# (learn.microsoft.com, "Targeting your application for Windows"): a
# program's manifest declares the floor's and each later one, so Windows
# gives it its own behaviour, not that of an older release's compatibility
# mode. Windows 11 has Windows 10's id.
set(SEATENROL_WINDOWS_IDS
    0x0600={e2011457-1546-43c5-a5fe-008deee3d3f0}  # Windows Vista
    0x0601={35138b9a-5d96-4fbd-8e2d-a2440225f93a}  # Windows 7
    0x0602={4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}  # Windows 8
    0x0603={1f676c76-80e1-4239-95bb-83d0f6d0da78}  # Windows 8.1
    0x0A00={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}  # Windows 10 and 11
)
