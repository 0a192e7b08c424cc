# The revocation wizard through its real window, and the two programs the
# demo and the benchmark use: wizard_drive runs one revocation through the
# window (screen texts, step times, screenshots), wizard_floor runs the same
# steps on a dialog object that is never shown.
if(NOT TARGET KEVORevoke)
  return()
endif()

# The emulated jvm.dll the service library loads (testbed/jvmemu).
if(TARGET kevo_jvmemu)
  set(KEVO_JVMEMU_DIR $<TARGET_FILE_DIR:kevo_jvmemu>)
  set(jvmemu_depends kevo_jvmemu)
else()
  set(KEVO_JVMEMU_DIR ${CMAKE_BINARY_DIR}/testbed/jvmemu)
  set(jvmemu_depends "")
endif()
set(wizard_run_defs KEVO_IMAGE_DIR="${KEVO_IMAGE_DIR}" KEVO_JVMEMU_DIR="${KEVO_JVMEMU_DIR}"
                    KEVO_SOFTCARD_DIR="${KEVO_SOFTCARD_DIR}")

add_library(kevo_wizardrun STATIC ${CMAKE_CURRENT_LIST_DIR}/WizardRun.cpp)
target_include_directories(kevo_wizardrun PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(kevo_wizardrun PRIVATE ${wizard_run_defs})
target_link_libraries(kevo_wizardrun PUBLIC kevo_testsupport crypt32)

kevo_add_gtest(wizard_window_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/WizardWindowTest.cpp
               LIBS kevo_wizardrun
               DEPENDS KEVORevoke kevo_install_image kevo_softcard ${jvmemu_depends}
               TIMEOUT 1800 LABELS wizard)
set_tests_properties(wizard_window_test PROPERTIES FIXTURES_REQUIRED "testbed;softcard")
target_include_directories(wizard_window_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/serviceapi)

# Dialogs 102 and 103, string 101, icons, manifest and version as built
# (reads the PE file; no Wine needed).
find_program(KEVO_PYTHON3 python3)
if(KEVO_PYTHON3)
  add_test(NAME wizard_resources_test
           COMMAND ${KEVO_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_wizard_resources.py $<TARGET_FILE:KEVORevoke>)
  set_tests_properties(wizard_resources_test PROPERTIES TIMEOUT 60 LABELS "wizard;host")
endif()

add_executable(wizard_drive ${CMAKE_CURRENT_LIST_DIR}/WizardDrive.cpp)
target_link_libraries(wizard_drive PRIVATE kevo_wizardrun)
add_dependencies(wizard_drive KEVORevoke kevo_install_image)

add_executable(wizard_floor ${CMAKE_CURRENT_LIST_DIR}/WizardFloor.cpp)
target_link_libraries(wizard_floor PRIVATE kevorevoke_wizard)

# The road through the five screens, the boxes and the tooltips on the code
# pages of non-Japanese Windows: the same texts as on 932.
kevo_add_codepage_tests(wizard_window_test SOFTCARD FIXTURES testbed TIMEOUT 1800
  FILTER WizardTest.HappyPathFromScreen01To05WithTheRequestVerifiedByTheCounter:WizardTest.SignatureRetryAndSendAndCloseQuestionsKeepTheScreen:WizardTest.ToolTipsFollowTheScreens)
