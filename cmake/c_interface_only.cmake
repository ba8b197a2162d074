# Programs that reach the component as a host does: through the C interface's one
# header (include/quillor/quillor.h, the target quillor_c_interface) and a release
# library loaded at run time, never through the layers' code or headers.
#
# quillor_c_interface_only(TARGET FOLDER) puts a target on the list; at the end of
# the configuration quillor_check_c_interface_only() refuses, for each target on
# it, what would let it reach past the header:
#   - a link to a library of this build other than the allowed ones (an imported
#     target, a package's library or a system library is from outside the tree);
#   - a link to a file inside the source or build tree;
#   - an include folder inside the source or build tree other than the header's
#     and the target's own include root (quillor_include_root of its folder);
#   - a source file outside the target's own folder (a layer's .cpp built in).
# A layer's header is then out of reach (no include root holds it), and including
# one fails the build as a missing header.

# The targets of this build a listed target may link: the header alone.
set(QUILLOR_C_INTERFACE_ONLY_ALLOWED quillor_c_interface)

function(quillor_c_interface_only target folder)
  set_property(GLOBAL APPEND PROPERTY QUILLOR_C_INTERFACE_ONLY_TARGETS "${target}|${folder}")
endfunction()

# Whether path is source_dir or binary_dir, or lies below either.
function(_quillor_in_tree path out)
  set(${out} FALSE PARENT_SCOPE)
  foreach(root IN ITEMS ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
    cmake_path(IS_PREFIX root "${path}" NORMALIZE below)
    if(below)
      set(${out} TRUE PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

function(quillor_check_c_interface_only)
  get_property(entries GLOBAL PROPERTY QUILLOR_C_INTERFACE_ONLY_TARGETS)
  foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 target)
    list(GET parts 1 folder)
    if(NOT TARGET ${target})
      continue()
    endif()
    set(refused)
    get_target_property(source_dir ${target} SOURCE_DIR)

    set(links)
    foreach(property IN ITEMS LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(values ${target} ${property})
      if(values)
        list(APPEND links ${values})
      endif()
    endforeach()
    foreach(link IN LISTS links)
      # $<LINK_ONLY:x> and the like: the names inside them count the same.
      string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" name "${link}")
      if(TARGET ${name})
        get_target_property(aliased ${name} ALIASED_TARGET)
        if(aliased)
          set(name ${aliased})
        endif()
        get_target_property(imported ${name} IMPORTED)
        if(NOT imported AND NOT name IN_LIST QUILLOR_C_INTERFACE_ONLY_ALLOWED)
          list(APPEND refused "links ${name}, a library of this build")
        endif()
      elseif(IS_ABSOLUTE "${name}")
        _quillor_in_tree("${name}" inside)
        if(inside)
          list(APPEND refused "links ${name}, a file of this build")
        endif()
      endif()
    endforeach()

    set(allowed_includes ${CMAKE_SOURCE_DIR}/include ${CMAKE_BINARY_DIR}/include/${folder})
    foreach(property IN ITEMS INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES)
      get_target_property(folders ${target} ${property})
      foreach(dir IN LISTS folders)
        if(NOT dir OR dir IN_LIST allowed_includes)
          continue()
        endif()
        _quillor_in_tree("${dir}" inside)
        if(inside OR dir MATCHES "^\\$<")
          list(APPEND refused "includes from ${dir}")
        endif()
      endforeach()
    endforeach()

    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} NORMALIZE
                 OUTPUT_VARIABLE file)
      cmake_path(IS_PREFIX source_dir "${file}" NORMALIZE own)
      if(NOT own)
        list(APPEND refused "builds ${file}, from outside ${folder}/")
      endif()
    endforeach()

    if(refused)
      list(JOIN refused "; " reasons)
      message(FATAL_ERROR
        "${target} reaches the component through include/quillor/quillor.h alone "
        "(cmake/c_interface_only.cmake), but it ${reasons}")
    endif()
  endforeach()
endfunction()
