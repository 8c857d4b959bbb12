# pravellon(8) as made for each system names that system's installed paths
# and none of the other's, keeps no placeholder, and passes mandoc's checks.
#
# -DSOURCE_DIR, -DSCRATCH, -DMANDOC (empty without mandoc).

include("${SOURCE_DIR}/man/configure_manual.cmake")
file(READ "${SOURCE_DIR}/man/pravellon.8.in" source)

# system | sysconfdir | libexecdir | unit dir | what it names | what it must not name
set(cases
  "FreeBSD|/usr/local/etc|/usr/local/libexec|/usr/local/lib/systemd/system|/usr/local/etc/rc.d/pravellon,/usr/local/libexec/pravellon-boot,/var/db/pravellon/pending,service pravellon stop|/var/lib,/lib/systemd,pravellon.conf"
  "Linux|/etc|/usr/libexec|/lib/systemd/system|/lib/systemd/system/pravellon.service,/usr/libexec/pravellon-boot,/var/lib/pravellon/pending,/etc/pravellon.conf,systemctl stop pravellon|/usr/local,/var/db,/etc/rc.d")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 system)
  list(GET fields 1 etc)
  list(GET fields 2 libexec)
  list(GET fields 3 units)
  list(GET fields 4 named)
  list(GET fields 5 unnamed)
  string(REPLACE "," ";" named "${named}")
  set(page "${SCRATCH}/${system}/pravellon.8")
  pravellon_configure_manual("${SOURCE_DIR}/man/pravellon.8.in" "${page}" ${system} ${etc} ${libexec} ${units})
  file(READ "${page}" text)
  string(REGEX MATCH "@[A-Z_]+@" left "${text}")
  if(left)
    message(FATAL_ERROR "${system}: ${left} left in the page")
  endif()
  foreach(path IN LISTS named)
    string(FIND "${text}" "${path}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${system}: the page does not name ${path}")
    endif()
  endforeach()
  string(REPLACE "," ";" unnamed "${unnamed}")
  foreach(path IN LISTS unnamed)
    string(FIND "${text}" "${path}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${system}: the page names ${path}")
    endif()
  endforeach()
  if(MANDOC)
    execute_process(COMMAND "${MANDOC}" -T lint -W warning "${page}" OUTPUT_VARIABLE lint ERROR_VARIABLE lint)
    if(NOT lint STREQUAL "")
      message(FATAL_ERROR "${system}: mandoc:\n${lint}")
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
