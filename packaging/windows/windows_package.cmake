# The Windows release, made by `cpack` in the cross build: an installer (NSIS) and a ZIP of the
# same files for users who do not install. Included from the top directory before CPack.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_FILE_NAME spectrino-${PROJECT_VERSION}-win64)
# One folder and one uninstall entry, whatever the version, so an upgrade replaces what it finds.
set(CPACK_PACKAGE_INSTALL_DIRECTORY Spectrino)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Spectrino)
set(CPACK_NSIS_PACKAGE_NAME Spectrino)
set(CPACK_NSIS_DISPLAY_NAME Spectrino)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/spectrino/shell/resources/spectrino.ico)
set(CPACK_NSIS_MUI_UNIICON ${CPACK_NSIS_MUI_ICON})
set(CPACK_NSIS_URL_INFO_ABOUT "https://spectrino.example.org/")
set(CPACK_NSIS_CONTACT "spectrino@example.org")

# Version resources always have four numbers; the installer checks the program's against this.
set(file_version "")
foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
        list(APPEND file_version 0)
    else()
        list(APPEND file_version ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN file_version . CPACK_SPECTRINO_FILE_VERSION)

# The bundled drivers register on install and unregister before their files go.
get_property(drivers GLOBAL PROPERTY SPECTRINO_WINDOWS_DRIVERS)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "")
foreach(driver IN LISTS drivers)
    string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "  !insertmacro RegisterServer ${driver}\n")
    string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "  !insertmacro UnregisterServer ${driver}\n")
endforeach()

# Our own installer script: it leaves the user's settings alone, which share their key's name
# with the one CMake's script deletes on uninstall.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
