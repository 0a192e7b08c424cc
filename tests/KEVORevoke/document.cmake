# Text buffer and the signed request document.
kevo_add_gtest(textbuffer_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextBufferTest.cpp LIBS kevorevoke_core crypt32)

# The request document through the software card; its documents land in
# revoke-xml-out for revoke_xml_verify, which checks them with OpenSSL and
# xmllint on this side.
set(KEVO_REVOKE_XML_OUT ${CMAKE_CURRENT_BINARY_DIR}/revoke-xml-out)
kevo_add_gtest(revoke_xml_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/RevokeXmlTest.cpp
               LIBS kevorevoke_core DEPENDS kevo_softcard
               PROPERTIES FIXTURES_REQUIRED softcard FIXTURES_SETUP revoke_xml_output)
target_compile_definitions(revoke_xml_test PRIVATE
  KEVO_XML_OUT_DIR="${KEVO_REVOKE_XML_OUT}" KEVO_SOFTCARD_DIR="${KEVO_SOFTCARD_DIR}")

add_test(NAME revoke_xml_verify
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/verify_revoke_xml.py
                 --out ${KEVO_REVOKE_XML_OUT} --softcard ${KEVO_SOFTCARD_DIR}
                 --golden ${CMAKE_CURRENT_LIST_DIR}/data/revoke_request_golden.xml)
set_tests_properties(revoke_xml_verify PROPERTIES
  FIXTURES_REQUIRED "revoke_xml_output;softcard" TIMEOUT 120)

# The software card through CryptoAPI, as the card step and the document use it.
kevo_add_gtest(softcard_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/SoftCardTest.cpp
               LIBS advapi32 crypt32 user32 DEPENDS kevo_softcard)
set_tests_properties(softcard_test PROPERTIES FIXTURES_REQUIRED "softcard;softcard_cards")
target_compile_definitions(softcard_test PRIVATE KEVO_SOFTCARD_DIR="${KEVO_SOFTCARD_DIR}"
                           KEVO_SOFTCARD_CARDS_DIR="${KEVO_SOFTCARD_CARDS_DIR}")
