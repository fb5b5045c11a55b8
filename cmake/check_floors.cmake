# The floors of the suite: io <- lib <- {scf, photo, chan} <- diatom.
#
# A folder may include headers of its own floor and of the floors below it:
# io only io; lib io and lib; each program folder io, lib and itself (photo
# also its kernels, which themselves stand on io and lib only).  The three
# programs stand side by side: what two of them share belongs in lib, so
# that a change in one program cannot silently change another.  diatom, on
# top, may include any of them.  support/ (synthetic inputs for the tests and
# the benchmarks) stands on io and lib only; tests and bench are not checked.
#
# Run at configure time (included by the top-level CMakeLists.txt) and as the
# test layout_floors (cmake -DSUITE_SOURCE_DIR=... -P cmake/check_floors.cmake);
# an include across the floors stops either, naming the file and the include.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.20)
endif()

function(suite_check_floors source_dir)
  # Folder (its files, not its subfolders) and the folders it may include.
  set(folders io lib scf photo photo/kernels chan support)
  set(floor_io io)
  set(floor_lib io lib)
  set(floor_scf io lib scf)
  set(floor_photo io lib photo)
  set(floor_photo/kernels io lib photo/kernels)
  set(floor_chan io lib chan)
  set(floor_support io lib support)
  # The folders of the suite a header may come from.
  set(suite_folders io lib scf photo chan diatom support)

  set(violations "")
  foreach(folder IN LISTS folders)
    file(GLOB files "${source_dir}/${folder}/*.cpp" "${source_dir}/${folder}/*.hpp")
    foreach(path IN LISTS files)
      file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*[\">]")
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]*)[\">].*$" "\\1;\\2" parts "${line}")
        list(GET parts 0 quote)
        list(GET parts 1 header)
        # A quoted name without a folder is a header beside the file.
        if(quote STREQUAL "\"" AND NOT header MATCHES "/")
          continue()
        endif()
        # In angle brackets only names that start with a folder of the suite
        # are its headers; the rest are system headers.
        string(REGEX MATCH "^[^/]+" top "${header}")
        if(quote STREQUAL "<" AND NOT top IN_LIST suite_folders)
          continue()
        endif()
        set(allowed FALSE)
        foreach(below IN LISTS floor_${folder})
          string(LENGTH "${below}/" n)
          string(SUBSTRING "${header}" 0 ${n} head)
          if(head STREQUAL "${below}/")
            set(allowed TRUE)
          endif()
        endforeach()
        if(NOT allowed)
          file(RELATIVE_PATH rel "${source_dir}" "${path}")
          string(APPEND violations "\n  ${rel}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()

  if(violations)
    message(FATAL_ERROR "includes across the floors io <- lib <- {scf, photo, chan} <- diatom "
                        "(what two programs share belongs in lib/):${violations}")
  endif()
endfunction()

if(NOT DEFINED SUITE_SOURCE_DIR)
  get_filename_component(SUITE_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
suite_check_floors("${SUITE_SOURCE_DIR}")
