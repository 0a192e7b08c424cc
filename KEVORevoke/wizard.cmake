# The wizard program: application object, the window side of the dialog and
# its screen table, the resources. The dialog's text operations and the
# card step come with the revocation core (or, until they are part of it,
# from this folder). Everything but the application object is also a
# library, so that a client without a window can run the same steps.
set(wizard_sources
  ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WizardScreens.cpp)
foreach(part RevokeTexts.cpp KEVORevokeDlgTexts.cpp KEVOUserCertRevokeCard.cpp KEVORevokeWizardStub.cpp)
  set(file ${CMAKE_CURRENT_LIST_DIR}/${part})
  if(EXISTS ${file} AND NOT file IN_LIST KEVOREVOKE_CORE_SOURCES)
    list(APPEND wizard_sources ${file})
  endif()
endforeach()
add_library(kevorevoke_wizard STATIC ${wizard_sources})
target_include_directories(kevorevoke_wizard PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kevorevoke_wizard PUBLIC kevorevoke_core kevo_ui kevo_tracelog_revoke comctl32 gdi32 user32)

add_executable(KEVORevoke WIN32 ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.cpp ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.rc)
target_link_libraries(KEVORevoke PRIVATE kevorevoke_wizard)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/res/KEVORevoke.ico ${CMAKE_CURRENT_LIST_DIR}/res/KEVORevokeAbout.ico
             ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeRes.h)
kevo_windows_resources(KEVORevoke DESCRIPTION "KEVO オンライン失効申請機能" FILENAME "KEVORevoke.exe"
                       MANIFEST ${KEVO_SOURCE_DIR}/cmake/manifests/asInvoker-comctl6.manifest)
