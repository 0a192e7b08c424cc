# Online counter client: the server clock and the delivery of the signed
# request through WinINet, with the serialised body and the date filter as
# pure functions beside it.
list(APPEND KEVOREVOKE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/RevokeStreamData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerDateFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KEVOUserCertRevokeHttp.cpp)
list(APPEND KEVOREVOKE_CORE_LIBS kevo_settings wininet)
