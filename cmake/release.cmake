# The release: version information in the Win32 executables, what each build
# installs, and the package CPack makes of it: the Win32 build gives
# drenvalisk-<version>-win32.zip, the native build
# drenvalisk-scan_<version>-1_amd64.deb.
# scripts/release.sh runs both with SOURCE_DATE_EPOCH set from the commit.

# The folders the packages hold get fixed permissions, whatever the umask of
# the machine that builds them (install() gives each file its own).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(_release_out ${CMAKE_BINARY_DIR}/release)
file(MAKE_DIRECTORY ${_release_out})

# FILEVERSION wants four numbers: 1.0 is 1,0,0,0.
string(REPLACE "." ";" _parts "${PROJECT_VERSION}")
list(LENGTH _parts _count)
while(_count LESS 4)
  list(APPEND _parts 0)
  math(EXPR _count "${_count} + 1")
endwhile()
list(JOIN _parts "," DRENVALISK_VERSION_COMMAS)

# drenvalisk_version_resource(TARGET DESCRIPTION): gives TARGET's executable a
# VERSIONINFO resource with the product's version, name and maker.
function(drenvalisk_version_resource target description)
  set(DRENVALISK_FILE_DESCRIPTION "${description}")
  set(DRENVALISK_FILE_STEM "${target}")
  set(rc ${_release_out}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/res/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

if(WIN32)
  drenvalisk_version_resource(drenvalisk-scan "${DRENVALISK_PRODUCT} console scanner")
  drenvalisk_version_resource(drenvalisk "${DRENVALISK_PRODUCT} removal tool")

  # The zip: both programs and README.txt at its root, the text with CRLF line
  # ends for Notepad.
  configure_file(${PROJECT_SOURCE_DIR}/res/release/README-win32.txt.in
                 ${_release_out}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS drenvalisk drenvalisk-scan RUNTIME DESTINATION .)
  install(FILES ${_release_out}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME drenvalisk-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # The Debian package of the console scanner: the program, its manual page,
  # the copyright file and the Debian changelog, compressed as Debian's policy
  # asks (gzip -n: no name or time in the header).
  find_program(DRENVALISK_GZIP gzip REQUIRED)
  # The changelog's date: SOURCE_DATE_EPOCH's when set (string(TIMESTAMP)
  # takes it), which scripts/release.sh sets to the commit's time.
  string(TIMESTAMP DRENVALISK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/res/release/changelog.Debian.in
                 ${_release_out}/changelog.Debian @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/res/release/copyright.in
                 ${_release_out}/copyright @ONLY)
  set(_man_source ${PROJECT_SOURCE_DIR}/doc/drenvalisk-scan.1)
  add_custom_command(
    OUTPUT ${_release_out}/drenvalisk-scan.1.gz ${_release_out}/changelog.Debian.gz
    COMMAND ${DRENVALISK_GZIP} -9 -n -c ${_man_source} > ${_release_out}/drenvalisk-scan.1.gz
    COMMAND ${DRENVALISK_GZIP} -9 -n -c ${_release_out}/changelog.Debian
            > ${_release_out}/changelog.Debian.gz
    DEPENDS ${_man_source} ${_release_out}/changelog.Debian
    COMMENT "Compressing the manual page and the Debian changelog")
  add_custom_target(drenvalisk-scan-docs ALL
    DEPENDS ${_release_out}/drenvalisk-scan.1.gz ${_release_out}/changelog.Debian.gz)

  install(TARGETS drenvalisk-scan RUNTIME DESTINATION bin)
  install(FILES ${_release_out}/drenvalisk-scan.1.gz DESTINATION share/man/man1)
  install(FILES ${_release_out}/copyright ${_release_out}/changelog.Debian.gz
          DESTINATION share/doc/drenvalisk-scan)
  install(FILES ${PROJECT_SOURCE_DIR}/res/release/lintian-overrides
          DESTINATION share/lintian/overrides RENAME drenvalisk-scan)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME drenvalisk-scan)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # NAME_VERSION-RELEASE_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DRENVALISK_COMPANY} <drenvalisk@vexmoor.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are those of the binary, as dpkg-shlibdeps finds them
  # (libhivex0, libstdc++6, libc6, ...).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "offline cleaner for the W32/Tarvolinex trojan on Windows disks")
  # The extended description, below the summary line CPack puts first.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"drenvalisk-scan scans a Windows installation mounted on Linux, for example
from a rescue system, for the files of the W32/Tarvolinex family of Windows
trojans. It reports what it finds and, when asked, deletes or renames the
infected files and removes the trojan's start-up entries and service keys
from the installation's registry hives, keeping a backup of each hive it
changes. By default it only reports and changes nothing.")
endif()

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${DRENVALISK_COMPANY}")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
