# Lays the public headers out as an embedder includes them: every one in
# one folder, OUT/arjhost, naming each other <arjhost/NAME.h>, whatever
# the source tree's folders. Run as a script:
#   cmake -DSOURCE=DIR -DOUT=DIR -P public_headers.cmake
cmake_minimum_required(VERSION 3.20)
file(GLOB api_headers ${SOURCE}/runtime/api/*.h ${SOURCE}/runtime/operations/*.h)
set(headers ${api_headers} ${SOURCE}/plugin/format/arj_types.h ${SOURCE}/runtime/bindings/c/arjhost.h)
file(MAKE_DIRECTORY ${OUT}/arjhost)
# A header no longer public goes.
set(names "")
foreach(header ${headers})
  get_filename_component(name ${header} NAME)
  list(APPEND names ${name})
endforeach()
file(GLOB laid_out ${OUT}/arjhost/*.h)
foreach(old_header ${laid_out})
  get_filename_component(name ${old_header} NAME)
  if(NOT name IN_LIST names)
    file(REMOVE ${old_header})
  endif()
endforeach()
foreach(header ${headers})
  get_filename_component(name ${header} NAME)
  file(READ ${header} text)
  string(REGEX REPLACE "#include \"(runtime/api|runtime/operations|plugin/format)/([a-z0-9_]+\\.h)\"" "#include <arjhost/\\2>" text
         "${text}")
  # Unchanged headers keep their times, so that what includes them is not rebuilt.
  set(target ${OUT}/arjhost/${name})
  set(old "")
  if(EXISTS ${target})
    file(READ ${target} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${target} "${text}")
  endif()
endforeach()
