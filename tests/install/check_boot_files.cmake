# Makes the boot files of one platform, whichever platform this is, into a
# fresh prefix and checks that they name the installed program and that the
# FreeBSD rc.d script parses as a shell script.
#
# -DDIST_DIR, -DPREFIX, -DBOOT_FILES (rc.d or systemd).

file(REMOVE_RECURSE "${PREFIX}")
set(CMAKE_INSTALL_PREFIX "${PREFIX}")
set(PRAVELLON_DIST_DIR "${DIST_DIR}")
set(PRAVELLON_STAGING_DIR "${PREFIX}-staging")
set(PRAVELLON_SBINDIR sbin)
set(PRAVELLON_SYSCONFDIR etc)
set(PRAVELLON_SYSTEMD_UNIT_DIR lib/systemd/system)
set(PRAVELLON_BOOT_FILES "${BOOT_FILES}")
include("${DIST_DIR}/install_boot_files.cmake")

function(expect_contains file text)
  file(READ "${PREFIX}/${file}" content)
  string(FIND "${content}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} lacks '${text}':\n${content}")
  endif()
  string(REGEX MATCH "@[A-Z_]+@" placeholder "${content}")
  if(placeholder)
    message(FATAL_ERROR "${file} keeps the placeholder ${placeholder}")
  endif()
endfunction()

if(BOOT_FILES STREQUAL "rc.d")
  expect_contains(etc/rc.d/pravellon "\t${PREFIX}/sbin/pravellon \${pravellon_flags}\n")
  expect_contains(etc/rc.d/pravellon "rcvar=\"pravellon_enable\"\n")
  expect_contains(etc/rc.d/pravellon "required_modules=\"cpuctl\"\n")
  expect_contains(etc/devd/pravellon.conf "action \"${PREFIX}/etc/rc.d/pravellon quietstart\";")
  execute_process(COMMAND sh -n "${PREFIX}/etc/rc.d/pravellon" RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the rc.d script does not parse:\n${err}")
  endif()
else()
  foreach(unit pravellon.service pravellon-resume.service)
    expect_contains(lib/systemd/system/${unit} "ExecStart=${PREFIX}/sbin/pravellon $PRAVELLON_TOKENS\n")
    expect_contains(lib/systemd/system/${unit} "EnvironmentFile=${PREFIX}/etc/pravellon.conf\n")
  endforeach()
  expect_contains(etc/pravellon.conf "PRAVELLON_TOKENS=")
endif()

file(REMOVE_RECURSE "${PREFIX}" "${PREFIX}-staging")
