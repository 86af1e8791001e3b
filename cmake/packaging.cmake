# Packages made with CPack from what the install() rules install, so a program, page or
# file any part of the project installs is in the package with no edit here.
#   Linux:   cpack -G DEB  ->  strofix_<version>_amd64.deb  (scripts/build-package.sh)
#   Windows: cpack -G ZIP  ->  strofix-<version>-win32.zip  (the programs, stripped, and a README)
set(STROFIX_PACKAGE_MAINTAINER "The Strofix developers <maintainers@strofix.invalid>"
    CACHE STRING "The package's maintainer, 'Name <address>'")

set(CPACK_PACKAGE_NAME strofix)
set(CPACK_PACKAGE_VENDOR "The Strofix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lyrics of the playing song, one line at a time")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
    # One folder with the programs at its top and a short README.
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(STROFIX_WINDOWS_ARCH win32)
    else()
        set(STROFIX_WINDOWS_ARCH win64)
    endif()
    set(CPACK_PACKAGE_FILE_NAME strofix-${PROJECT_VERSION}-${STROFIX_WINDOWS_ARCH})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in
                   ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # strofix_<version>_<arch>.deb
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STROFIX_PACKAGE_MAINTAINER})
    set(CPACK_DEBIAN_PACKAGE_SECTION sound)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends computed from the programs' libraries
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # The programs lose their .comment and .note sections too, as Debian's own tools do,
    # and files under /etc are listed as conffiles (cmake/package-prepare.cmake).
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-prepare.cmake)
    set(CPACK_STROFIX_CONFFILES ${CMAKE_BINARY_DIR}/packaging/conffiles)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CPACK_STROFIX_CONFFILES})
    # The first line of the field is the summary above; this is the extended text.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Strofix shows the lyrics of the song an audio player is playing, one line at
a time, in step with playback. The player publishes the song's path and its
play position in a shared-memory block; Strofix finds the song's lyrics file
and shows the line whose time tag is the current second.
.
The package holds the Qt window, strofix-follow (the current line for
terminals and status bars such as waybar or tmux, as text or JSON), the
companion tools and their manual pages.")
    set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

    # What Debian wants of every package's documentation folder.
    set(STROFIX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/strofix)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
                   ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog
                > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
    add_custom_target(strofix_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
                  ${CMAKE_BINARY_DIR}/packaging/changelog.gz
            DESTINATION ${STROFIX_DOC_DIR})
endif()

set(CPACK_STROFIX_STRIP ${CMAKE_STRIP})  # CPACK_* variables reach the scripts
include(CPack)
