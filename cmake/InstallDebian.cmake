# What a Linux administrator expects beside the program (cmake/Install.cmake
# includes this on Linux): the job file in /etc/dunmarrow (every job commented
# out), the log folder /var/log/dunmarrow, the systemd service and its daily
# timer, a logrotate rule, the manual page Dunmarrow(1), and in each package's
# documentation folder the copyright file and the Debian changelog. The
# control files of the packages (shlibs, triggers, conffiles) are made here
# too, for cmake/Packaging.cmake.
set(_debian ${PROJECT_SOURCE_DIR}/packaging/debian)
set(_out ${PROJECT_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${_out})

# Files compressed as Debian ships them: gzip -9, without name and time, so
# that the same text always gives the same bytes.
function(dunmarrow_gzip source target)
  configure_file(${source} ${_out}/${target} @ONLY)
  execute_process(COMMAND gzip -9nf ${_out}/${target} RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "gzip ${_out}/${target} failed: ${_status}")
  endif()
endfunction()
dunmarrow_gzip(${_debian}/Dunmarrow.1 Dunmarrow.1)
dunmarrow_gzip(${_debian}/changelog changelog)

# The job file of the service: the example, with the job list commented out so
# that nothing runs until the administrator lists jobs, and a first line that
# says where it lies.
file(READ ${PROJECT_SOURCE_DIR}/examples/Dunmarrow.ini _example)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/Dunmarrow.ini)
string(FIND "${_example}" "\n" _first)
math(EXPR _first "${_first} + 1")
string(SUBSTRING "${_example}" ${_first} -1 _example)
string(FIND "${_example}" "[Backups]\n" _list)
if(_list EQUAL -1)
  message(FATAL_ERROR "examples/Dunmarrow.ini has no [Backups] section")
endif()
math(EXPR _list "${_list} + 10")
string(SUBSTRING "${_example}" 0 ${_list} _head)
string(SUBSTRING "${_example}" ${_list} -1 _tail)
string(FIND "${_tail}" "\n\n" _end)
string(SUBSTRING "${_tail}" 0 ${_end} _jobs)
string(SUBSTRING "${_tail}" ${_end} -1 _tail)
string(REPLACE "\n" "\n;" _jobs ";${_jobs}")
file(WRITE ${_out}/Dunmarrow.ini
  "; Dunmarrow's job file, read at every run of dunmarrow.service (Dunmarrow(1)).\n"
  "; Every job of the list below is commented out: list your own to run them.\n"
  "${_head}${_jobs}${_tail}")

# Configuration and logs go where the GNU layout puts them for the prefix:
# /etc and /var for the prefix /usr (the packages), <prefix>/etc and
# <prefix>/var otherwise. Decided when installing, since CPack installs into a
# staging folder ending in /usr.
install(CODE [[
  if(CMAKE_INSTALL_PREFIX MATCHES "/usr/?$")
    set(DUNMARROW_TO_SYSTEM "../")
  else()
    set(DUNMARROW_TO_SYSTEM "")
  endif()]] COMPONENT Runtime)
install(FILES ${_out}/Dunmarrow.ini DESTINATION "\${DUNMARROW_TO_SYSTEM}etc/dunmarrow" COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.logrotate DESTINATION "\${DUNMARROW_TO_SYSTEM}etc/logrotate.d"
  RENAME dunmarrow COMPONENT Runtime)
install(DIRECTORY DESTINATION "\${DUNMARROW_TO_SYSTEM}var/log/dunmarrow" COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.service ${_debian}/dunmarrow.timer
  DESTINATION lib/systemd/system COMPONENT Runtime)
install(FILES ${_out}/Dunmarrow.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
install(FILES ${_debian}/dunmarrow.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME dunmarrow COMPONENT Runtime)
foreach(_component_package IN ITEMS Runtime:dunmarrow Development:libbrenlix-dev)
  string(REPLACE ":" ";" _pair ${_component_package})
  list(GET _pair 0 _component)
  list(GET _pair 1 _package)
  install(FILES ${_debian}/copyright ${_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_package} COMPONENT ${_component})
endforeach()

# Control files of the dunmarrow package. Programs linked with the library
# depend on any dunmarrow of the same major version from this one on (the
# soname's promise); ldconfig runs once through dpkg's trigger.
file(WRITE ${_out}/shlibs
  "libBrenlix ${PROJECT_VERSION_MAJOR} dunmarrow (>= ${PROJECT_VERSION})\n")
configure_file(${_debian}/triggers ${_out}/triggers COPYONLY)
file(WRITE ${_out}/conffiles "/etc/dunmarrow/Dunmarrow.ini\n/etc/logrotate.d/dunmarrow\n")
