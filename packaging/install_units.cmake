# Runs at install time (cmake --install, make install, CPack): the systemd
# units and the desktop entry name the program by its installed path, which is
# only known then (--prefix, CPack's packaging prefix). DESTDIR is honoured.
# Expects QR_SOURCE_DIR, QR_BINDIR, QR_DOC_DIR, QR_APPLICATIONS_DIR,
# QR_USER_UNIT_DIR (relative to the prefix, or absolute).
function(qr_installed_path out rel)
  if(IS_ABSOLUTE "${rel}")
    set(${out} "${rel}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${rel}" PARENT_SCOPE)
  endif()
endfunction()

qr_installed_path(bindir "${QR_BINDIR}")
qr_installed_path(QR_DOC "${QR_DOC_DIR}")
set(QR_PROGRAM "${bindir}/VM3_Quillon_Recorder")
set(QR_WEB_PROGRAM "${bindir}/quillon-web")

function(qr_install_template template rel)
  qr_installed_path(target "${rel}")
  set(dest "$ENV{DESTDIR}${target}")
  file(READ "${QR_SOURCE_DIR}/${template}" text)
  string(CONFIGURE "${text}" text @ONLY)
  get_filename_component(folder "${dest}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  message(STATUS "Installing: ${dest}")
  file(WRITE "${dest}" "${text}")
  file(CHMOD "${dest}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  set(CMAKE_INSTALL_MANIFEST_FILES ${CMAKE_INSTALL_MANIFEST_FILES} "${dest}" PARENT_SCOPE)
endfunction()

qr_install_template(units/quillon-recorder@.service.in "${QR_USER_UNIT_DIR}/quillon-recorder@.service")
qr_install_template(units/quillon-recorder-system@.service.in
                    "${QR_DOC_DIR}/examples/system/quillon-recorder@.service")
qr_install_template(units/quillon-recorder.desktop.in "${QR_APPLICATIONS_DIR}/quillon-recorder.desktop")
qr_install_template(units/quillon-web@.service.in "${QR_USER_UNIT_DIR}/quillon-web@.service")
qr_install_template(units/quillon-web-system@.service.in "${QR_DOC_DIR}/examples/system/quillon-web@.service")
