# Shared build helpers.

# Adds DIR when it holds a CMakeLists.txt, so folders can arrive one at a time.
function(velmo_add_subdirectory_if_present dir)
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endfunction()

# Adds every direct child folder of the current source folder that has a
# CMakeLists.txt (tests/, bench/, fuzz/ and tools/ keep one folder per library
# or program).
function(velmo_add_child_subdirectories)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt")
      add_subdirectory("${child}")
    endif()
  endforeach()
endfunction()

# The project's warning set, applied per target.
function(velmo_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# A GoogleTest executable registered with CTest.
# velmo_add_gtest(NAME SOURCES... LIBS ...)
function(velmo_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  velmo_set_warnings(${name})
  # PROPERTIES takes name/value pairs, so each variable goes in its own property.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "SDL_AUDIODRIVER=set:dummy")
endfunction()

# A libFuzzer target (clang only): velmo_add_fuzzer(NAME SOURCES... LIBS ...)
function(velmo_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  velmo_set_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY VELMO_FUZZERS ${name})
endfunction()
