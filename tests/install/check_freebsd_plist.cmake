# The FreeBSD port's pkg-plist against what cmake --install puts under
# /usr/local: the files of this build, with its own boot files replaced by
# those that the port's CMAKE_ARGS choose, and the manual pages under the .gz
# names that the ports framework compresses them to. The rc.d scripts of
# USE_RC_SUBR come from files/ and are listed by the framework itself.
#
# -DBUILD_DIR, -DDIST_DIR, -DPORT_DIR, -DSCRATCH, -DBOOT_FILES (this build's)
# and the install directories -DSBINDIR, -DLIBEXECDIR, -DSYSCONFDIR, -DUNITDIR.

function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

file(READ "${PORT_DIR}/Makefile" makefile)
string(REPLACE "\\\n" " " makefile "${makefile}")
string(REGEX MATCH "\nCMAKE_ARGS\\+?=[^\n]*" cmakeArgs "${makefile}")
string(REGEX MATCH "-DPRAVELLON_BOOT_FILES(:STRING)?=([^ \t]+)" found "${cmakeArgs}")
set(portBootFiles "${CMAKE_MATCH_2}")
if(NOT portBootFiles STREQUAL "script")
  fail("the port's CMAKE_ARGS do not install the boot script alone:${cmakeArgs}")
endif()
string(REGEX MATCH "\nCMAKE_OFF\\+?=[^\n]*" cmakeOff "${makefile}")
string(REGEX MATCH "\nUSE_RC_SUBR=[ \t]*([^\n]*)" rcSubr "${makefile}")
string(REGEX REPLACE "[ \t]+" ";" rcScripts "${CMAKE_MATCH_1}")
if(NOT cmakeOff MATCHES "[ \t]PRAVELLON_TESTS( |$)" OR NOT makefile MATCHES "\nCMAKE_TESTING_ON=[ \t]*PRAVELLON_TESTS\n")
  fail("the port does not leave the tests out of its build and in its test target:${cmakeOff}")
endif()
if(NOT rcScripts STREQUAL "pravellon" OR NOT EXISTS "${PORT_DIR}/files/pravellon.in")
  fail("the port's USE_RC_SUBR does not install files/pravellon.in:${rcSubr}")
endif()

file(REMOVE_RECURSE "${SCRATCH}")
set(root "${SCRATCH}/root")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${root}"
    "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr/local
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  fail("cmake --install failed (${status}):\n${out}${err}")
endif()
file(GLOB_RECURSE everything LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${root}/usr/local" "${root}/usr/local/*")
list(LENGTH everything all)
list(LENGTH installed underPrefix)
if(NOT all EQUAL underPrefix)
  # A build for a package puts some files at absolute paths such as /etc.
  message("skipped: this build installs outside its prefix")
  file(REMOVE_RECURSE "${SCRATCH}")
  return()
endif()

# The files that install_boot_files.cmake makes of one kind, relative to the prefix.
function(boot_files out kind)
  set(prefix "${SCRATCH}/boot-${kind}")
  set(CMAKE_INSTALL_PREFIX "${prefix}")
  set(PRAVELLON_BOOT_FILES "${kind}")
  set(PRAVELLON_DIST_DIR "${DIST_DIR}")
  set(PRAVELLON_STAGING_DIR "${prefix}-staging")
  set(PRAVELLON_SBINDIR "${SBINDIR}")
  set(PRAVELLON_LIBEXECDIR "${LIBEXECDIR}")
  set(PRAVELLON_SYSCONFDIR "${SYSCONFDIR}")
  set(PRAVELLON_SYSTEMD_UNIT_DIR "${UNITDIR}")
  include("${DIST_DIR}/install_boot_files.cmake")
  file(GLOB_RECURSE made LIST_DIRECTORIES false RELATIVE "${prefix}" "${prefix}/*")
  set(${out} "${made}" PARENT_SCOPE)
endfunction()

if(NOT BOOT_FILES STREQUAL "none")
  boot_files(own "${BOOT_FILES}")
  list(REMOVE_ITEM installed ${own})
endif()
boot_files(port "${portBootFiles}")
list(APPEND installed ${port})
list(REMOVE_DUPLICATES installed)

set(expected "")
foreach(file IN LISTS installed)
  if(file MATCHES "/man/man[1-9]/[^/]+\\.[1-9]$")
    string(APPEND file ".gz")
  endif()
  list(APPEND expected "${file}")
endforeach()
list(SORT expected)

file(STRINGS "${PORT_DIR}/pkg-plist" plist)
list(SORT plist)
if(NOT plist STREQUAL expected)
  string(REPLACE ";" "\n  " plistLines "${plist}")
  string(REPLACE ";" "\n  " expectedLines "${expected}")
  fail("pkg-plist:\n  ${plistLines}\ncmake --install under /usr/local:\n  ${expectedLines}")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
