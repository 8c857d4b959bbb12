# Installs the build into a fresh prefix, as an administrator would, and checks
# that every file lands where it belongs, nothing else is installed, and the
# boot files call the program where it was installed.
#
# -DBUILD_DIR, -DPREFIX, -DBOOT_FILES (rc.d, systemd, script or none) and the
# install directories -DSBINDIR, -DBINDIR, -DLIBEXECDIR, -DMANDIR, -DSYSCONFDIR,
# -DUNITDIR.

function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

# file is under root, the prefix unless a check sets another.
function(expect_contains file text)
  file(READ "${root}/${file}" content)
  string(FIND "${content}" "${text}" at)
  if(at EQUAL -1)
    fail("${file} lacks '${text}':\n${content}")
  endif()
endfunction()

function(expect_executable file)
  execute_process(COMMAND test -x "${PREFIX}/${file}" RESULT_VARIABLE notExecutable)
  if(NOT notExecutable EQUAL 0)
    fail("${file} is not executable")
  endif()
endfunction()

# A build configured for a package names some directories absolutely (/etc);
# installing it would write there, outside the scratch prefix, so it is not
# installed here. Its package's file list is checked where the package is built.
foreach(dir "${SBINDIR}" "${BINDIR}" "${LIBEXECDIR}" "${MANDIR}" "${SYSCONFDIR}" "${UNITDIR}")
  if(IS_ABSOLUTE "${dir}")
    message("skipped: the install directory ${dir} is absolute; an install would write outside ${PREFIX}")
    return()
  endif()
endforeach()

set(root "${PREFIX}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  fail("cmake --install failed (${status}):\n${out}${err}")
endif()

set(expected
  "${SBINDIR}/pravellon"
  "${BINDIR}/pravellon-sim"
  "${BINDIR}/pravellon-capture"
  "${MANDIR}/man8/pravellon.8"
  "${MANDIR}/man1/pravellon-sim.1"
  "${MANDIR}/man1/pravellon-capture.1")
if(NOT BOOT_FILES STREQUAL "none")
  list(APPEND expected "${LIBEXECDIR}/pravellon-boot")
endif()
if(BOOT_FILES STREQUAL "systemd")
  list(APPEND expected
    "${UNITDIR}/pravellon.service"
    "${UNITDIR}/pravellon-confirm.service"
    "${UNITDIR}/pravellon-resume.service"
    "${SYSCONFDIR}/pravellon.conf")
elseif(BOOT_FILES STREQUAL "rc.d")
  list(APPEND expected "${SYSCONFDIR}/rc.d/pravellon")
endif()
list(SORT expected)

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installedLines "${installed}")
  string(REPLACE ";" "\n  " expectedLines "${expected}")
  fail("installed:\n  ${installedLines}\nexpected:\n  ${expectedLines}")
endif()

expect_executable("${SBINDIR}/pravellon")
expect_executable("${BINDIR}/pravellon-sim")
expect_executable("${BINDIR}/pravellon-capture")
if(NOT BOOT_FILES STREQUAL "none")
  expect_executable("${LIBEXECDIR}/pravellon-boot")
  expect_contains("${LIBEXECDIR}/pravellon-boot" "program=\${PRAVELLON:-${PREFIX}/${SBINDIR}/pravellon}\n")
endif()

if(BOOT_FILES STREQUAL "systemd")
  expect_contains("${UNITDIR}/pravellon.service" "ExecStart=${PREFIX}/${LIBEXECDIR}/pravellon-boot start\n")
  expect_contains("${UNITDIR}/pravellon.service" "EnvironmentFile=${PREFIX}/${SYSCONFDIR}/pravellon.conf\n")

  # A second install keeps the administrator's tokens.
  file(WRITE "${PREFIX}/${SYSCONFDIR}/pravellon.conf" "PRAVELLON_TOKENS=\"P0=20@1.25\"\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0)
    fail("second cmake --install failed (${status})")
  endif()
  expect_contains("${SYSCONFDIR}/pravellon.conf" "PRAVELLON_TOKENS=\"P0=20@1.25\"")

  # A prefix relative to the working directory still gives the units absolute
  # paths, and a staging DESTDIR stays out of them.
  set(workDir "${PREFIX}-work")
  file(REMOVE_RECURSE "${workDir}")
  file(MAKE_DIRECTORY "${workDir}")
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix relative
    WORKING_DIRECTORY "${workDir}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${workDir}/stage"
    "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /opt/pravellon
    RESULT_VARIABLE stagedStatus OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT stagedStatus EQUAL 0)
    fail("install with a relative prefix (${status}) or a DESTDIR (${stagedStatus}) failed")
  endif()
  set(root "${workDir}")
  expect_contains("relative/${UNITDIR}/pravellon.service" "ExecStart=${workDir}/relative/${LIBEXECDIR}/pravellon-boot ")
  expect_contains("stage/opt/pravellon/${UNITDIR}/pravellon.service"
    "ExecStart=/opt/pravellon/${LIBEXECDIR}/pravellon-boot ")
  expect_contains("stage/opt/pravellon/${UNITDIR}/pravellon.service"
    "EnvironmentFile=/opt/pravellon/${SYSCONFDIR}/pravellon.conf\n")
  file(REMOVE_RECURSE "${workDir}")
  set(root "${PREFIX}")
elseif(BOOT_FILES STREQUAL "rc.d")
  expect_executable("${SYSCONFDIR}/rc.d/pravellon")
  expect_contains("${SYSCONFDIR}/rc.d/pravellon" " ${PREFIX}/${LIBEXECDIR}/pravellon-boot \"$1\"\n")
endif()

file(REMOVE_RECURSE "${PREFIX}")
