# Installs the boot files, run by cmake --install: the boot script, which
# holds the logic of both systems, and what calls it, the rc.d script or the
# systemd units. They call each other and pravellon by the full paths they are
# installed at, under the prefix of this install, which may differ from the
# one the build was configured with.
#
# Set by the caller: PRAVELLON_BOOT_FILES (rc.d, systemd, or script for the
# boot script alone), PRAVELLON_DIST_DIR, PRAVELLON_STAGING_DIR, and the
# install directories PRAVELLON_SBINDIR, PRAVELLON_LIBEXECDIR,
# PRAVELLON_SYSCONFDIR and PRAVELLON_SYSTEMD_UNIT_DIR, each under the prefix
# unless absolute.

# The files name absolute paths even when the prefix was given relative to the
# working directory, as in cmake --install build --prefix stage.
get_filename_component(installPrefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)

function(pravellon_installed_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${installPrefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

if(NOT PRAVELLON_BOOT_FILES MATCHES "^(rc\\.d|systemd|script)$")
  message(FATAL_ERROR "PRAVELLON_BOOT_FILES must be rc.d, systemd, script or none, not '${PRAVELLON_BOOT_FILES}'")
endif()

pravellon_installed_dir(sbinDir "${PRAVELLON_SBINDIR}")
pravellon_installed_dir(libexecDir "${PRAVELLON_LIBEXECDIR}")
pravellon_installed_dir(etcDir "${PRAVELLON_SYSCONFDIR}")
set(PRAVELLON_SBIN "${sbinDir}/pravellon")
set(PRAVELLON_BOOT "${libexecDir}/pravellon-boot")
# The environment file of the systemd units, where the boot script's status
# finds the settings when run by hand.
set(PRAVELLON_ENV_FILE "${etcDir}/pravellon.conf")
set(staging "${PRAVELLON_STAGING_DIR}/${PRAVELLON_BOOT_FILES}")
file(REMOVE_RECURSE "${staging}")
set(executable OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

configure_file("${PRAVELLON_DIST_DIR}/pravellon-boot.in" "${staging}/pravellon-boot" @ONLY)
file(INSTALL "${staging}/pravellon-boot" DESTINATION "${libexecDir}" FILE_PERMISSIONS ${executable})

if(PRAVELLON_BOOT_FILES STREQUAL "rc.d")
  # The FreeBSD port installs the same rc.d script through the ports
  # framework, which fills in %%PREFIX%%.
  file(READ "${PRAVELLON_DIST_DIR}/freebsd/port/sysutils/pravellon/files/pravellon.in" rcScript)
  string(REPLACE "%%PREFIX%%/libexec/pravellon-boot" "${PRAVELLON_BOOT}" rcScript "${rcScript}")
  string(REPLACE "%%PREFIX%%" "${installPrefix}" rcScript "${rcScript}")
  file(WRITE "${staging}/rc.d/pravellon" "${rcScript}")
  file(INSTALL "${staging}/rc.d/pravellon" DESTINATION "${etcDir}/rc.d" FILE_PERMISSIONS ${executable})
elseif(PRAVELLON_BOOT_FILES STREQUAL "systemd")
  pravellon_installed_dir(unitDir "${PRAVELLON_SYSTEMD_UNIT_DIR}")
  foreach(unit pravellon.service pravellon-confirm.service pravellon-resume.service)
    configure_file("${PRAVELLON_DIST_DIR}/linux/${unit}.in" "${staging}/${unit}" @ONLY)
    file(INSTALL "${staging}/${unit}" DESTINATION "${unitDir}"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
  # The environment file holds the administrator's tokens: installed once, and
  # never replaced by a later install.
  if(EXISTS "$ENV{DESTDIR}${PRAVELLON_ENV_FILE}")
    message(STATUS "Keeping: $ENV{DESTDIR}${PRAVELLON_ENV_FILE}")
  else()
    file(INSTALL "${PRAVELLON_DIST_DIR}/linux/pravellon.conf" DESTINATION "${etcDir}"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endif()
