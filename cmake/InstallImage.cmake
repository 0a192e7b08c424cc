# The install image: one folder laid out as a citizen's install directory,
# made by every build of the Windows tree. Tests, the demo and the installer
# take the deliverables from here, so the layout is defined once.
#
#   KEVORevoke.exe          revocation wizard
#   KEVOSoftverchk.exe      version checker
#   KEVORWSetting.exe       reader/writer setting tool
#   KEVODiag.exe            diagnostics report for the help desk
#   KEVOServiceAPIk.dll     service API library, under its own name
#   KEVOServiceAPI.dll      the same file under the name the wizard loads
#   KEVORegRead.dll         registry reader for the service's Java side
#   KEVOValidationInfo.ini  default settings (Shift-JIS, CR LF)
#   user-guide.html         the guides, made from docs/*.md by pandoc
#   admin-guide.html
#   PolicyDefinitions/      administrative templates of the machine policy
#                           (KEVO.admx, ja-JP and en-US KEVO.adml): in the
#                           release zip for administrators, not installed
#
# With KEVO_SIGN (scripts/release sets it when given a key) every program
# and library of the image is signed (installer/authenticode_sign.sh).
if(NOT WIN32)
  return()
endif()

set(KEVO_IMAGE_DIR ${CMAKE_BINARY_DIR}/image CACHE INTERNAL "The install image of this build tree")

set(image_targets KEVORevoke KEVOSoftverchk KEVORWSetting KEVODiag KEVOServiceAPIk KEVORegRead)
set(copy_commands "")
set(image_files "")
foreach(t ${image_targets})
  if(TARGET ${t})
    list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${t}> ${KEVO_IMAGE_DIR}/)
    list(APPEND image_files $<TARGET_FILE_NAME:${t}>)
  endif()
endforeach()
if(TARGET KEVOServiceAPIk)
  list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
       $<TARGET_FILE:KEVOServiceAPIk> ${KEVO_IMAGE_DIR}/KEVOServiceAPI.dll)
endif()

list(APPEND image_files KEVOValidationInfo.ini)
set(signed_files "")
foreach(f ${image_files})
  list(APPEND signed_files ${KEVO_IMAGE_DIR}/${f})
endforeach()
list(FILTER signed_files EXCLUDE REGEX "\\.ini$")
if(TARGET KEVOServiceAPIk)
  list(APPEND signed_files ${KEVO_IMAGE_DIR}/KEVOServiceAPI.dll)
endif()
# What the image holds, by file name (generator expressions for the built
# ones), for the installer and the release package.
set(KEVO_IMAGE_FILES ${image_files})
if(TARGET KEVOServiceAPIk)
  list(APPEND KEVO_IMAGE_FILES KEVOServiceAPI.dll)
endif()

set(settings_template ${CMAKE_SOURCE_DIR}/cmake/image/KEVOValidationInfo.ini.in)
set(settings_file ${KEVO_IMAGE_DIR}/KEVOValidationInfo.ini)
add_custom_command(OUTPUT ${settings_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KEVO_IMAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${settings_template} -DOUT=${settings_file}
          -P ${CMAKE_SOURCE_DIR}/cmake/image/MakeSettingsFile.cmake
  DEPENDS ${settings_template} ${CMAKE_SOURCE_DIR}/cmake/image/MakeSettingsFile.cmake
  COMMENT "Default settings file of the install image")

# The help desk the guides name, KEVO_HELPDESK_NAME, _PHONE, _HOURS and _URL:
# a test build names the testbed's placeholder, which scripts/release refuses
# for a release to citizens.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/image/helpdesk-placeholder.txt helpdesk_placeholder
     ENCODING UTF-8 REGEX "^KEVO_HELPDESK_[A-Z]+=")
set(guide_values "")
foreach(line ${helpdesk_placeholder})
  string(REGEX MATCH "^([A-Z_]+)=(.*)$" _ "${line}")
  set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" CACHE STRING "Help desk named in the guides (${CMAKE_MATCH_1})")
  list(APPEND guide_values --metadata "${CMAKE_MATCH_1}=${${CMAKE_MATCH_1}}")
endforeach()

# The guides as HTML pages, each one file (pictures embedded), links between
# them pointing at the pages, the help desk filled in.
find_program(KEVO_PANDOC pandoc)
set(guide_files "")
if(KEVO_PANDOC)
  foreach(guide user-guide admin-guide)
    set(md ${CMAKE_SOURCE_DIR}/docs/${guide}.md)
    set(html ${KEVO_IMAGE_DIR}/${guide}.html)
    add_custom_command(OUTPUT ${html}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KEVO_IMAGE_DIR}
      COMMAND ${KEVO_PANDOC} --quiet --from gfm+east_asian_line_breaks --to html5 --standalone --self-contained --toc
              --shift-heading-level-by=-1 --lua-filter ${CMAKE_SOURCE_DIR}/docs/html-links.lua
              --lua-filter ${CMAKE_SOURCE_DIR}/docs/build-values.lua ${guide_values}
              --css ${CMAKE_SOURCE_DIR}/docs/guide.css
              --resource-path ${CMAKE_SOURCE_DIR}/docs --metadata lang=ja --output ${html} ${md}
      DEPENDS ${md} ${CMAKE_SOURCE_DIR}/docs/html-links.lua ${CMAKE_SOURCE_DIR}/docs/build-values.lua
              ${CMAKE_SOURCE_DIR}/docs/guide.css
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/docs
      COMMENT "Guide ${guide}.html"
      VERBATIM)
    list(APPEND guide_files ${html})
    list(APPEND KEVO_IMAGE_FILES ${guide}.html)
  endforeach()
else()
  message(WARNING "pandoc (Debian package pandoc) not found: the guides are not part of the install image")
endif()

# Administrative templates, copied as they are kept in the source.
set(KEVO_ADMIN_FILES PolicyDefinitions/KEVO.admx PolicyDefinitions/ja-JP/KEVO.adml PolicyDefinitions/en-US/KEVO.adml)
foreach(f ${KEVO_ADMIN_FILES})
  get_filename_component(d ${KEVO_IMAGE_DIR}/${f} DIRECTORY)
  list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${d}
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/cmake/image/${f} ${KEVO_IMAGE_DIR}/${f})
endforeach()

set(sign_commands "")
if(KEVO_SIGN)
  set(sign_commands COMMAND bash ${CMAKE_SOURCE_DIR}/installer/authenticode_sign.sh ${signed_files})
endif()

# The files the image is copied from, for rules that must rerun when it changes.
set(KEVO_IMAGE_SOURCES ${settings_file} ${guide_files})
foreach(t ${image_targets})
  if(TARGET ${t})
    list(APPEND KEVO_IMAGE_SOURCES $<TARGET_FILE:${t}>)
  endif()
endforeach()

add_custom_target(kevo_install_image ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KEVO_IMAGE_DIR}
  ${copy_commands}
  ${sign_commands}
  DEPENDS ${settings_file} ${guide_files}
  COMMENT "Install image in ${KEVO_IMAGE_DIR}")
foreach(t ${image_targets})
  if(TARGET ${t})
    add_dependencies(kevo_install_image ${t})
  endif()
endforeach()
