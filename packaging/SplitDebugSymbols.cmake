# Run by CPack on the staged files before it builds the package: the program goes into the package
# stripped, and its symbols into relvanto-dbgsym, a package of its own beside it (as Debian's
# archive has them), where debuggers find them by the program's build id.
set(stage ${CPACK_TEMPORARY_DIRECTORY})
set(program ${stage}/usr/bin/relvanto)
set(name ${CPACK_PACKAGE_NAME}-dbgsym)
set(root ${CPACK_TOPLEVEL_DIRECTORY}/${name})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN}: ${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

run(env LC_ALL=C readelf -n ${program})
if(NOT run_output MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "${program} has no build id")
endif()
set(build_id ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
set(debug_file ${root}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)

file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/DEBIAN ${root}/usr/share/doc)
get_filename_component(debug_folder ${debug_file} DIRECTORY)
file(MAKE_DIRECTORY ${debug_folder})
run(objcopy --only-keep-debug --compress-debug-sections ${program} ${debug_file})
file(CHMOD ${debug_file} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
run(objcopy --strip-unneeded --remove-section=.comment --remove-section=.note
    --add-gnu-debuglink=${debug_file} ${program})
# Its copyright and changelog are the program's, as in every Debian dbgsym package.
file(CREATE_LINK ${CPACK_PACKAGE_NAME} ${root}/usr/share/doc/${name} SYMBOLIC)

run(dpkg --print-architecture)
string(STRIP "${run_output}" arch)
file(SIZE ${debug_file} bytes)
math(EXPR kib "(${bytes} + 1023) / 1024")
file(MD5 ${debug_file} md5)
file(RELATIVE_PATH debug_path ${root} ${debug_file})
file(WRITE ${root}/DEBIAN/md5sums "${md5}  ${debug_path}\n")
file(WRITE ${root}/DEBIAN/control
"Package: ${name}
Source: ${CPACK_PACKAGE_NAME}
Version: ${CPACK_PACKAGE_VERSION}
Architecture: ${arch}
Maintainer: ${CPACK_DEBIAN_PACKAGE_MAINTAINER}
Installed-Size: ${kib}
Depends: ${CPACK_PACKAGE_NAME} (= ${CPACK_PACKAGE_VERSION})
Section: debug
Priority: optional
Description: debug symbols for ${CPACK_PACKAGE_NAME}
Build-Ids: ${build_id}
")
run(dpkg-deb --root-owner-group -Zxz --build ${root}
    ${CPACK_PACKAGE_DIRECTORY}/${name}_${CPACK_PACKAGE_VERSION}_${arch}.deb)
