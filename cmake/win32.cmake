# The Windows build (32-bit, as the HotSync Manager loads it; also 64-bit, for
# Wine where 32-bit code cannot run): the conduit DLL with its resources and plain
# exports, and our stand-ins for the HotSync Manager's two libraries, which the
# conduit imports as the HotSync Manager provides them (partly by ordinal).
enable_language(RC)
# The Wine loader for this width of Windows program.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_WINE_LOADER /usr/lib/wine/wine64)
else()
  set(QV_WINE_LOADER /usr/lib/wine/wine)
endif()

# The HotSync Manager's libraries as our stand-ins name them: the one place
# these names are kept.
set(QV_SYNCMGR_DLL qvsyncmgr)
set(QV_HSLOG_DLL qvhslog)

add_compile_options(-DWIN32_LEAN_AND_MEAN -DNOMINMAX)
# Programs and DLLs side by side, as the HotSync Manager installs them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(QV_STATIC_RUNTIME -static-libgcc -static-libstdc++ -static)

add_library(qv_platform STATIC ${QV_PLATFORM_SOURCES})
target_include_directories(qv_platform PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qv_platform PUBLIC comctl32 gdi32 user32 advapi32)
add_library(qv_core STATIC ${QV_CORE_SOURCES})
target_include_directories(qv_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qv_core PUBLIC qv_platform)

# Our HotSync Manager's libraries, exporting what the conduit calls as the
# .def files in conduit/win32/ describe them.
foreach(lib SYNCMGR HSLOG)
  configure_file(${PROJECT_SOURCE_DIR}/conduit/win32/${lib}.def.in
                 ${CMAKE_BINARY_DIR}/${QV_${lib}_DLL}.def @ONLY)
endforeach()
add_library(${QV_HSLOG_DLL} SHARED hotsync/services/hotsync_log.cpp
            ${CMAKE_BINARY_DIR}/${QV_HSLOG_DLL}.def)
add_library(${QV_SYNCMGR_DLL} SHARED ${QV_SYNCMGR_SOURCES} ${CMAKE_BINARY_DIR}/${QV_SYNCMGR_DLL}.def)
target_link_libraries(${QV_SYNCMGR_DLL} PRIVATE qv_platform)
foreach(dll ${QV_HSLOG_DLL} ${QV_SYNCMGR_DLL})
  target_include_directories(${dll} PRIVATE ${PROJECT_SOURCE_DIR})
  # What hotsync.exe calls besides the conduit's imports (QV_HOST_API).
  target_compile_definitions(${dll} PRIVATE QV_HOST_EXPORTS)
  set_target_properties(${dll} PROPERTIES PREFIX "")
  target_link_options(${dll} PRIVATE ${QV_STATIC_RUNTIME})
endforeach()

# Import libraries made from the same .def files with dlltool: the conduit
# imports register, unregister, the user record and the log entry by ordinal.
set(QV_IMPORT_LIBS)
foreach(dll ${QV_SYNCMGR_DLL} ${QV_HSLOG_DLL})
  set(implib ${CMAKE_BINARY_DIR}/lib${dll}_imports.a)
  add_custom_command(OUTPUT ${implib}
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_BINARY_DIR}/${dll}.def -l ${implib}
    DEPENDS ${CMAKE_BINARY_DIR}/${dll}.def)
  list(APPEND QV_IMPORT_LIBS ${implib})
endforeach()
add_custom_target(qv_import_libs DEPENDS ${QV_IMPORT_LIBS})

add_library(quorvia_conduit SHARED ${QV_CONDUIT_SOURCES} resources/quorvia_conduit.rc
            conduit/win32/quorvia_conduit.def)
target_link_libraries(quorvia_conduit PRIVATE qv_core ${QV_IMPORT_LIBS})
add_dependencies(quorvia_conduit qv_import_libs ${QV_SYNCMGR_DLL} ${QV_HSLOG_DLL})
set_target_properties(quorvia_conduit PROPERTIES PREFIX "")
target_include_directories(quorvia_conduit PRIVATE ${PROJECT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/resources)
target_link_options(quorvia_conduit PRIVATE ${QV_STATIC_RUNTIME})

# Our HotSync Manager's program, beside its libraries and the conduit. It
# serves the conduit through the same two DLLs the conduit imports (their
# state is the HotSync's), and reads and writes data sets itself with the core.
# CLI11 is headers only, the system's serve: through a folder of their own, as
# the rest of the system's headers are not MinGW's.
find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11)
file(CREATE_LINK ${CLI11_INCLUDE_DIR}/CLI ${CMAKE_BINARY_DIR}/cli11/CLI SYMBOLIC)
# So is xxHash, compiled in (XXH_INLINE_ALL).
find_path(XXHASH_INCLUDE_DIR xxhash.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/xxhash)
file(CREATE_LINK ${XXHASH_INCLUDE_DIR}/xxhash.h ${CMAKE_BINARY_DIR}/xxhash/xxhash.h SYMBOLIC)
add_executable(hotsync ${QV_HOTSYNC_SOURCES} hotsync/services/atomic_file.cpp
               hotsync/services/handheld_user.cpp hotsync/win32/hotsync.rc)
target_include_directories(hotsync PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/cli11)
target_include_directories(hotsync SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/xxhash)
target_compile_definitions(hotsync PRIVATE QV_VERSION="${PROJECT_VERSION}")
target_link_libraries(hotsync PRIVATE qv_core ${QV_SYNCMGR_DLL} ${QV_HSLOG_DLL})
target_link_options(hotsync PRIVATE ${QV_STATIC_RUNTIME})
add_dependencies(hotsync quorvia_conduit)

# The release zip, quorvia-conduit-VERSION-win32.zip (or -win64): the conduit,
# hotsync.exe with our HotSync Manager's two DLLs, the README's Windows section
# and the examples, in one folder of the zip's name. Binaries lose their debug
# information; the build's own keep it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_DIST_NAME quorvia-conduit-${PROJECT_VERSION}-win64)
else()
  set(QV_DIST_NAME quorvia-conduit-${PROJECT_VERSION}-win32)
endif()
set(QV_DIST_ROOT ${CMAKE_BINARY_DIR}/dist)
set(QV_DIST_DIR ${QV_DIST_ROOT}/${QV_DIST_NAME})
set(QV_DIST_ZIP ${CMAKE_BINARY_DIR}/${QV_DIST_NAME}.zip)
set(QV_DIST_TARGETS quorvia_conduit ${QV_SYNCMGR_DLL} ${QV_HSLOG_DLL} hotsync)
set(QV_DIST_COPIES)
foreach(target ${QV_DIST_TARGETS})
  list(APPEND QV_DIST_COPIES
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${QV_DIST_DIR}
    COMMAND ${CMAKE_STRIP} --strip-debug ${QV_DIST_DIR}/$<TARGET_FILE_NAME:${target}>)
endforeach()
file(GLOB_RECURSE QV_EXAMPLE_FILES ${PROJECT_SOURCE_DIR}/examples/*)
add_custom_command(OUTPUT ${QV_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QV_DIST_ROOT} ${QV_DIST_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QV_DIST_DIR}
  ${QV_DIST_COPIES}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples ${QV_DIST_DIR}/examples
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/windows-readme.sh ${PROJECT_SOURCE_DIR}/README.md
          ${QV_DIST_DIR}/README-windows.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${QV_DIST_ROOT}
          ${CMAKE_COMMAND} -E tar cf ${QV_DIST_ZIP} --format=zip ${QV_DIST_NAME}
  DEPENDS ${QV_DIST_TARGETS} ${QV_EXAMPLE_FILES} ${PROJECT_SOURCE_DIR}/README.md
          ${PROJECT_SOURCE_DIR}/tools/windows-readme.sh
  COMMENT "Making ${QV_DIST_NAME}.zip")
add_custom_target(dist DEPENDS ${QV_DIST_ZIP})

if(QV_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
