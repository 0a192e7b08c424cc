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

# The software card's folder for each case, made by OpenSSL before the tests.
set(tokyo "/C=JP/O=KEVO Public Certification Service/OU=Tokyo-to/CN=Tokyo-to Governor Test CA")
kevo_softcard_card(card_tokyo --issuer-dn "${tokyo}" --not-before 20200101000000Z --not-after 20491231235959Z)
kevo_softcard_card(card_twokeys --issuer-dn "/C=JP/O=Okinawa-ken/OU=Kanagawa-ken/CN=Joint Test CA"
                   --not-before 20200101000000Z --not-after 20491231235959Z)
kevo_softcard_card(card_nokey --no-prefecture --not-before 20200101000000Z --not-after 20491231235959Z)
# Ends at 2030-12-31 23:59:59 UTC.
kevo_softcard_card(card_boundary --issuer-dn "${tokyo}" --not-before 20200101000000Z --not-after 20301231235959Z)
# Starts in 2030 and ended in 2025.
kevo_softcard_card(card_future --issuer-dn "${tokyo}" --not-before 20300101000000Z --not-after 20250101000000Z)

if(TARGET kevo_jvmemu)
  kevo_add_gtest(card_step_test SOURCES CardStepTest.cpp
    DEPENDS card_probe kevo_nofree_serviceapi kevo_jvmemu kevo_softcard KEVOServiceAPIk)
  # Set here: a list passed through PROPERTIES would be split into names.
  set_tests_properties(card_step_test PROPERTIES FIXTURES_REQUIRED "testbed;softcard;softcard_cards")
  target_compile_definitions(card_step_test PRIVATE
    KEVO_CARD_PROBE="$<TARGET_FILE:card_probe>"
    KEVO_SERVICEAPI_DLL="${KEVO_IMAGE_DIR}/KEVOServiceAPI.dll"
    KEVO_NOFREE_SERVICEAPI_DLL="$<TARGET_FILE:kevo_nofree_serviceapi>"
    KEVO_JVMEMU_DIR="$<TARGET_FILE_DIR:kevo_jvmemu>"
    KEVO_CARD_CASES_DIR="${KEVO_SOFTCARD_CARDS_DIR}"
    KEVO_TESTBED_HTTP_PORT=${KEVO_TESTBED_HTTP_PORT})
  target_include_directories(card_step_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/serviceapi)
  add_dependencies(card_step_test kevo_install_image)
endif()
