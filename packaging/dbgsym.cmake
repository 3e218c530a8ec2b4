# Run by CPack after it made the packages (CPACK_POST_BUILD_SCRIPTS). CPack
# 3.25 writes a -dbgsym package's md5sums with the absolute paths of its
# staging folder and gives the package no /usr/share/doc. Each .ddeb is
# made again as dh_strip makes them: md5sums of its own paths, and
# /usr/share/doc/<name>-dbgsym a link to the folder of the package it
# belongs to (which carries the copyright and the changelog).
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.ddeb$")
    continue()
  endif()
  set(root ${deb}.root)
  file(REMOVE_RECURSE ${root})
  execute_process(COMMAND ${DPKG_DEB} -R ${deb} ${root} COMMAND_ERROR_IS_FATAL ANY)
  file(STRINGS ${root}/DEBIAN/control package REGEX "^Package: ")
  file(STRINGS ${root}/DEBIAN/control owner REGEX "^Depends: ")
  string(REGEX REPLACE "^Package: " "" package "${package}")
  string(REGEX REPLACE "^Depends: ([^ ]+) .*" "\\1" owner "${owner}")

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
  list(SORT files)
  set(sums "")
  foreach(f IN LISTS files)
    file(MD5 ${root}/${f} sum)
    string(APPEND sums "${sum}  ${f}\n")
  endforeach()
  file(WRITE ${root}/DEBIAN/md5sums "${sums}")
  file(CHMOD ${root}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(MAKE_DIRECTORY ${root}/usr/share/doc)
  file(CREATE_LINK ${owner} ${root}/usr/share/doc/${package} SYMBOLIC)
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz -b ${root} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${root})
endforeach()
