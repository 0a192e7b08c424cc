# Text buffer, card record and the signed revocation request document.
list(APPEND KEVOREVOKE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextCodePageWin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeXmlText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KEVOUserCertRevokeXML.cpp)
list(APPEND KEVOREVOKE_CORE_LIBS kevo_serviceapi_contract advapi32 crypt32)
