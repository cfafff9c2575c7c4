# Shared build settings: one warnings target every project target links, and the sanitizer switches.

# ccache, when it is installed, makes a rebuild of unchanged sources (a fresh clone, a second build
# folder, another work tree of the same project) a cache look-up. Paths are made relative to the source
# tree so that work trees in other folders share the cache.
find_program(K72_CCACHE ccache)
if(K72_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
                 CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime ${K72_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()

add_library(k72_warnings INTERFACE)
target_compile_options(k72_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic>)
if(K72_WERROR)
    target_compile_options(k72_warnings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()

if(K72_SANITIZE AND K72_TSAN)
    message(FATAL_ERROR "K72_SANITIZE and K72_TSAN cannot be combined")
endif()
if(K72_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(K72_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
# The fuzz build: every library gets libFuzzer's coverage hooks and ASan + UBSan; only the fuzz targets
# link libFuzzer's main (fuzz/CMakeLists.txt).
if(K72_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "K72_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    if(K72_SANITIZE OR K72_TSAN)
        message(FATAL_ERROR "K72_FUZZ brings its own sanitizers; leave K72_SANITIZE and K72_TSAN off")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# k72_add_layer(<target> [DEPENDS libs...]): a static library of every .cpp in the calling folder.
# New source files are picked up without editing CMake (CONFIGURE_DEPENDS).
function(k72_add_layer target)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(NOT sources)
        # A layer that has only headers so far.
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
        return()
    endif()
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE k72_warnings)
endfunction()
