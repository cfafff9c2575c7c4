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

# Unity builds: a target's sources are compiled in batches of a few files each, so the headers they share
# (Qt, GoogleTest, the standard library) are read and compiled once per batch instead of once per file.
# K72_UNITY_BUILD=OFF compiles every file on its own, e.g. to check that each one includes what it uses.
option(K72_UNITY_BUILD "Compile the programs and test programs in batches of sources" ON)

# k72_unity_build(<target> <batch size>): batches of that many sources. Files whose names collide with
# another file's inside an anonymous namespace cannot share a batch; such names are renamed, not worked
# around here.
function(k72_unity_build target batch_size)
    if(K72_UNITY_BUILD)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch_size})
    endif()
endfunction()

# k72_precompile_headers(<target> <header>...): a precompiled header of the heavy system headers a
# target's sources share. ccache caches such builds too, with the sloppiness set above and, for gcc,
# -fpch-preprocess.
option(K72_PRECOMPILED_HEADERS "Precompile the Qt and GoogleTest headers" ON)
function(k72_precompile_headers target)
    if(K72_PRECOMPILED_HEADERS)
        target_precompile_headers(${target} PRIVATE ${ARGN})
        if(K72_CCACHE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -fpch-preprocess)
        endif()
    endif()
endfunction()

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
