# Makes the boot files of one platform, whichever platform this is, into a
# fresh prefix and checks that they name the installed programs and that the
# shell scripts parse.
#
# -DDIST_DIR, -DPREFIX, -DBOOT_FILES (rc.d or systemd).

file(REMOVE_RECURSE "${PREFIX}")
set(CMAKE_INSTALL_PREFIX "${PREFIX}")
set(PRAVELLON_DIST_DIR "${DIST_DIR}")
set(PRAVELLON_STAGING_DIR "${PREFIX}-staging")
set(PRAVELLON_SBINDIR sbin)
set(PRAVELLON_LIBEXECDIR libexec)
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
  string(REGEX MATCH "@[A-Z_]+@|%%[A-Z_]+%%" placeholder "${content}")
  if(placeholder)
    message(FATAL_ERROR "${file} keeps the placeholder ${placeholder}")
  endif()
endfunction()

function(expect_shell_script file)
  execute_process(COMMAND sh -n "${PREFIX}/${file}" RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${file} does not parse:\n${err}")
  endif()
endfunction()

expect_contains(libexec/pravellon-boot "program=\${PRAVELLON:-${PREFIX}/sbin/pravellon}\n")
expect_shell_script(libexec/pravellon-boot)
if(BOOT_FILES STREQUAL "rc.d")
  expect_contains(etc/rc.d/pravellon "\n\t    ${PREFIX}/libexec/pravellon-boot \"$1\"\n")
  expect_shell_script(etc/rc.d/pravellon)
  # rc.subr hands the flags, or service -E flags=...'s override, on in rc_flags.
  expect_contains(etc/rc.d/pravellon "PRAVELLON_TOKENS=\"\${rc_flags}\"")
  expect_contains(etc/rc.d/pravellon "extra_commands=\"resume status\"\n")
  expect_contains(etc/rc.d/pravellon "status_cmd=\"pravellon_boot status\"\n")
else()
  foreach(unitAction pravellon:start pravellon-confirm:confirm-start pravellon-resume:resume)
    string(REPLACE ":" ";" unitAction "${unitAction}")
    list(GET unitAction 0 unit)
    list(GET unitAction 1 action)
    expect_contains(lib/systemd/system/${unit}.service "ExecStart=${PREFIX}/libexec/pravellon-boot ${action}\n")
    expect_contains(lib/systemd/system/${unit}.service "EnvironmentFile=${PREFIX}/etc/pravellon.conf\n")
  endforeach()
  expect_contains(lib/systemd/system/pravellon.service "ExecStop=${PREFIX}/libexec/pravellon-boot stop\n")
  expect_contains(etc/pravellon.conf "PRAVELLON_TOKENS=")
endif()

file(REMOVE_RECURSE "${PREFIX}" "${PREFIX}-staging")
