# The signed revocation request document (its text buffer is in common/textbuffer).
list(APPEND KEVOREVOKE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeXmlText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KEVOUserCertRevokeXML.cpp)
list(APPEND KEVOREVOKE_CORE_LIBS kevo_textbuffer kevo_serviceapi_contract advapi32 crypt32)
