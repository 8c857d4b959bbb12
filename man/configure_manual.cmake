# Makes pravellon(8) from man/pravellon.8.in for the system it is installed
# on, so that it names the paths of that system's installation: the lines
# marked @FREEBSD@ or @LINUX@ are kept on that system only, and the paths are
# filled in.
#
# pravellon_configure_manual(IN OUT SYSTEM SYSCONFDIR LIBEXECDIR UNITDIR), each
# directory absolute; SYSTEM is FreeBSD or Linux.
function(pravellon_configure_manual in out system sysconfdir libexecdir unitdir)
  file(READ "${in}" page)
  if(system STREQUAL "FreeBSD")
    set(keep FREEBSD)
    set(drop LINUX)
    # The boot script keeps its state where each system keeps such files.
    set(stateDir /var/db/pravellon)
  else()
    set(keep LINUX)
    set(drop FREEBSD)
    set(stateDir /var/lib/pravellon)
  endif()
  string(REGEX REPLACE "\n@${drop}@[^\n]*" "" page "${page}")
  string(REPLACE "\n@${keep}@" "\n" page "${page}")
  # Replaced by name, not by configure_file: the page's tokens hold @ signs.
  string(REPLACE "@PRAVELLON_STATE_DIR@" "${stateDir}" page "${page}")
  string(REPLACE "@PRAVELLON_RC_SCRIPT@" "${sysconfdir}/rc.d/pravellon" page "${page}")
  string(REPLACE "@PRAVELLON_BOOT@" "${libexecdir}/pravellon-boot" page "${page}")
  string(REPLACE "@PRAVELLON_UNIT_DIR@" "${unitdir}" page "${page}")
  string(REPLACE "@PRAVELLON_ENV_FILE@" "${sysconfdir}/pravellon.conf" page "${page}")
  # Written only when it changes, so that a reconfigure rebuilds nothing.
  set(before "")
  if(EXISTS "${out}")
    file(READ "${out}" before)
  endif()
  if(NOT before STREQUAL page)
    file(WRITE "${out}" "${page}")
  endif()
endfunction()
