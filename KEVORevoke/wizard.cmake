# The wizard program: application object, the dialog (window side, screen
# table, text operations), the resources; the steps come with the
# revocation core. Everything but the application object is also a
# library, so that a client without a window can run the same steps.
add_library(kevorevoke_wizard STATIC
  ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeDlgTexts.cpp)
target_include_directories(kevorevoke_wizard PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(kevorevoke_wizard PUBLIC kevorevoke_screens kevorevoke_core kevo_ui kevo_tracelog_revoke comctl32 gdi32 user32)

add_executable(KEVORevoke WIN32 ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.cpp ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.rc)
target_link_libraries(KEVORevoke PRIVATE kevorevoke_wizard kevo_win)
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/KEVORevoke.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/res/KEVORevoke.ico ${CMAKE_CURRENT_LIST_DIR}/res/KEVORevokeAbout.ico
             ${CMAKE_CURRENT_LIST_DIR}/KEVORevokeRes.h)
kevo_windows_resources(KEVORevoke DESCRIPTION "KEVO オンライン失効申請機能" FILENAME "KEVORevoke.exe"
                       MANIFEST ${KEVO_SOURCE_DIR}/cmake/manifests/asInvoker-comctl6.manifest)
