# Card step: the certificate through the card's provider, the basic data
# through the service API library (loaded at run time), the validity check.
list(APPEND KEVOREVOKE_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/KEVOUserCertRevokeCard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CardContext.cpp)
list(APPEND KEVOREVOKE_CORE_LIBS kevorevoke_rules kevo_serviceapi_contract kevo_javaruntime crypt32)
