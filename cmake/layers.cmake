# Layers the build enforces. Nothing includes from the source root: each
# target offers its headers through an include root of its own in the build
# tree, which holds links to just those headers, and a target sees only the
# roots of what it links. A header that reaches up the layers, or into a
# folder its target does not depend on, does not compile.
#
#   slash_layer_headers(TARGET pattern...)
#
# Patterns are globs from the source root ("runtime/*.h"), so a new header
# in an offered folder is offered at the next configure.
function(slash_layer_headers target)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(pattern ${ARGN})
    file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/${pattern})
    if(NOT headers)
      message(FATAL_ERROR "slash_layer_headers(${target}): nothing matches ${pattern}")
    endif()
    foreach(header ${headers})
      get_filename_component(folder ${root}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${root}/${header} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
