# The card step under Wine: card_probe runs it once per case against the
# software card (a certificate made by OpenSSL per case), the service library
# from the install image over the JNI emulation, and the testbed counter.
add_executable(card_probe CardProbe.cpp)
target_link_libraries(card_probe PRIVATE kevorevoke_core)
target_link_options(card_probe PRIVATE -municode)

# A library without KEVOFreeBasicData, to stand in for KEVOServiceAPI.dll.
add_library(kevo_nofree_serviceapi SHARED NoFreeServiceApi.cpp)
target_link_libraries(kevo_nofree_serviceapi PRIVATE kevo_serviceapi_contract)
set_target_properties(kevo_nofree_serviceapi PROPERTIES PREFIX "")

set(card_cases ${CMAKE_CURRENT_BINARY_DIR}/card-cases)
add_test(NAME card_cases_make COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/make-card-cases ${card_cases})
set_tests_properties(card_cases_make PROPERTIES FIXTURES_SETUP card_cases TIMEOUT 120)

if(TARGET kevo_jvmemu)
  kevo_add_gtest(card_step_test SOURCES CardStepTest.cpp
    DEPENDS card_probe kevo_nofree_serviceapi kevo_jvmemu kevo_softcard KEVOServiceAPIk
    PROPERTIES FIXTURES_REQUIRED "testbed;softcard;card_cases")
  target_compile_definitions(card_step_test PRIVATE
    KEVO_CARD_PROBE="$<TARGET_FILE:card_probe>"
    KEVO_SERVICEAPI_DLL="${KEVO_IMAGE_DIR}/KEVOServiceAPI.dll"
    KEVO_NOFREE_SERVICEAPI_DLL="$<TARGET_FILE:kevo_nofree_serviceapi>"
    KEVO_JVMEMU_DIR="$<TARGET_FILE_DIR:kevo_jvmemu>"
    KEVO_CARD_CASES_DIR="${card_cases}"
    KEVO_TESTBED_HTTP_PORT=${KEVO_TESTBED_HTTP_PORT})
  target_include_directories(card_step_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/serviceapi)
  add_dependencies(card_step_test kevo_install_image)
endif()
