# Build settings shared by every deliverable and test, and the helpers that
# give a Windows binary its manifest and version resource.

set(KEVO_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(KEVO_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")

# Reproducible binaries: two clean builds of one commit, wherever their trees
# are, give the same bytes. Build paths are mapped away (the trace lines print
# only a source file's base name, so __FILE__ loses nothing), and the linker
# writes no time stamp into the PE header.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
  if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
  endif()
elseif(MSVC)
  add_compile_options(/Brepro)
  add_link_options(/Brepro)
endif()

if(WIN32)
  enable_language(RC)
  # Narrow literals are Shift-JIS; sources are UTF-8.
  add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-finput-charset=UTF-8>
    $<$<COMPILE_LANGUAGE:C,CXX>:-fexec-charset=CP932>
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wall>)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Every deliverable needs only system DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Shipped binaries carry no symbol tables (they would double their size).
  add_link_options($<$<NOT:$<CONFIG:Debug>>:-s>)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

  set(KEVO_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
  set(KEVO_WINEPREFIX32 ${CMAKE_BINARY_DIR}/wineprefix32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # The 64-bit test build runs everything in the one 64-bit prefix, with
    # the 64-bit loader even where the machine runs 32-bit programs too
    # (scripts/wine-env.sh): CTest reads this file before any test starts.
    set(KEVO_WINEPREFIX32 ${CMAKE_BINARY_DIR}/wineprefix64)
    file(WRITE ${CMAKE_BINARY_DIR}/kevo-wine-bits.cmake "set(ENV{KEVO_WINE_BITS} 64)\n")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
                 ${CMAKE_BINARY_DIR}/kevo-wine-bits.cmake)
  endif()
  set(KEVO_WINEPREFIX64 ${CMAKE_BINARY_DIR}/wineprefix64)
  # Windows test programs run under Wine in this build tree's 32-bit prefix.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KEVO_WINE_RUN} ${KEVO_WINEPREFIX32})
else()
  add_compile_options(-Wall)
endif()

# kevo_windows_resources(<target> DESCRIPTION <text> FILENAME <name>
#                        [MANIFEST <file>] [RC <extra .rc files>...])
# Adds a VERSIONINFO resource built from the project version and, for an
# executable, the given application manifest.
function(kevo_windows_resources target)
  cmake_parse_arguments(R "" "DESCRIPTION;FILENAME;MANIFEST" "RC" ${ARGN})
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "EXECUTABLE")
    set(KEVO_FILETYPE "VFT_APP")
  else()
    set(KEVO_FILETYPE "VFT_DLL")
  endif()
  set(KEVO_FILE_DESCRIPTION "${R_DESCRIPTION}")
  set(KEVO_ORIGINAL_FILENAME "${R_FILENAME}")
  set(KEVO_INTERNAL_NAME "${target}")
  set(version_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${KEVO_SOURCE_DIR}/cmake/version.rc.in ${version_rc} @ONLY)
  set(sources ${version_rc} ${R_RC})
  if(R_MANIFEST)
    set(manifest_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
    file(WRITE ${manifest_rc}.in "1 24 \"${R_MANIFEST}\"\n")
    configure_file(${manifest_rc}.in ${manifest_rc} COPYONLY)
    list(APPEND sources ${manifest_rc})
    set_property(SOURCE ${manifest_rc} APPEND PROPERTY OBJECT_DEPENDS ${R_MANIFEST})
  endif()
  target_sources(${target} PRIVATE ${sources})
endfunction()
