# The layers of the program, lowest first. A library may link only libraries
# of a lower layer, and only libraries whose name ends in _gui may link Qt or
# compile a file that includes a Qt header. Checked when the build is
# configured, so an edge that runs upwards, or Qt in a Qt-free library, stops
# the build at once. ARCHITECTURE.md draws the same picture.
set(VT_LAYERS
  "vt_res vt_platform"                                   # strings and images; our own OS services
  "vt_core vt_version_block"                             # texts, errors, host seam, settings, paths, time fields
  "vt_media_avi vt_media_wm"                             # AVI/WAV and Windows Media streams
  "vt_flv"                                               # FLV files (writes AVI through vt_media_avi)
  "vt_ops_core vt_mediainfo"                             # page table, kinds' rules, stopwatch; what a file holds
  "vt_pages_avi_core vt_pages_wm_core vt_pages_flv_core" # the operations themselves
  "vt_verify"                                            # outputs read back and compared with the inputs
  "vt_cli_core"                                          # command line
  "vt_fuzz_entries"                                      # fuzz targets' and regression replay's entries
  "vt_ui_gui"                                            # controls and drawing (Qt)
  "vt_app_gui"                                           # dialogs, data exchange, application
  "vt_ops_gui"                                           # operation page and kinds
  "vt_pages_avi_gui vt_pages_wm_gui vt_pages_flv_gui"    # the pages
  "vt_app_main_gui")                                     # main window
# Front ends that must stay Qt-free.
set(VT_QT_FREE_PROGRAMS vantorel-cli)

function(_vt_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    _vt_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Every project file that `file` reaches through #include "..." (itself
# included), as absolute paths.
function(_vt_include_closure files out)
  set(seen)
  set(todo ${files})
  while(todo)
    list(POP_FRONT todo f)
    if(f IN_LIST seen OR NOT EXISTS ${f})
      continue()
    endif()
    list(APPEND seen ${f})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" inc "${line}")
      if(EXISTS ${PROJECT_SOURCE_DIR}/${inc})
        list(APPEND todo ${PROJECT_SOURCE_DIR}/${inc})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(_vt_check_qt_free target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  foreach(lib ${libs})
    if(lib MATCHES "Qt[0-9]*::" OR lib MATCHES "_gui$")
      message(FATAL_ERROR "${target} is Qt-free but links ${lib}")
    endif()
  endforeach()
  get_target_property(sources ${target} SOURCES)
  get_target_property(srcdir ${target} SOURCE_DIR)
  set(files)
  foreach(s ${sources})
    if(NOT IS_ABSOLUTE ${s})
      set(s ${srcdir}/${s})
    endif()
    list(APPEND files ${s})
  endforeach()
  _vt_include_closure("${files}" closure)
  foreach(f ${closure})
    file(STRINGS ${f} qt REGEX "^[ \t]*#[ \t]*include[ \t]*<Q")
    if(qt)
      message(FATAL_ERROR "${target} is Qt-free but ${f} includes a Qt header")
    endif()
  endforeach()
endfunction()

function(vt_check_layers)
  set(rank 0)
  foreach(layer ${VT_LAYERS})
    string(REPLACE " " ";" names "${layer}")
    foreach(n ${names})
      set(_rank_${n} ${rank})
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()

  _vt_collect_targets(${PROJECT_SOURCE_DIR} all)
  foreach(t ${all})
    get_target_property(type ${t} TYPE)
    get_target_property(dir ${t} SOURCE_DIR)
    string(FIND "${dir}/" "${PROJECT_SOURCE_DIR}/tests/" in_tests)
    string(FIND "${dir}/" "${PROJECT_SOURCE_DIR}/bench/" in_bench)
    if(NOT type MATCHES "LIBRARY$" OR in_tests EQUAL 0 OR in_bench EQUAL 0)
      continue()
    endif()
    if(NOT DEFINED _rank_${t})
      message(FATAL_ERROR "library ${t} has no layer: add it to VT_LAYERS in cmake/Layers.cmake")
    endif()
    get_target_property(libs ${t} LINK_LIBRARIES)
    foreach(lib ${libs})
      if(TARGET ${lib} AND DEFINED _rank_${lib} AND NOT _rank_${lib} LESS _rank_${t})
        message(FATAL_ERROR "${t} links ${lib}, which is not in a lower layer (cmake/Layers.cmake)")
      endif()
    endforeach()
    if(NOT t MATCHES "_gui$")
      _vt_check_qt_free(${t})
    endif()
  endforeach()
  foreach(t ${VT_QT_FREE_PROGRAMS})
    if(TARGET ${t})
      _vt_check_qt_free(${t})
    endif()
  endforeach()
endfunction()
