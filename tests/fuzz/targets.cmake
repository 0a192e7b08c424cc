# The fuzz targets and the product sources each one is built from (relative
# to the source tree). Read by tests/fuzz/CMakeLists.txt in both of its roles.
set(KEVO_FUZZ_TARGETS
  version_file server_date settings_core revoke_texts result_codes
  text_buffer base64 stream_data xml_escape pe_machine)

set(KEVO_FUZZ_SOURCES_version_file  common/verchk/SoftwareVersion.cpp)
set(KEVO_FUZZ_SOURCES_server_date   common/counter/ServerDateFilter.cpp)
set(KEVO_FUZZ_SOURCES_settings_core common/settings/SettingsCore.cpp)
set(KEVO_FUZZ_SOURCES_revoke_texts  KEVORevoke/RevokeTexts.cpp)
set(KEVO_FUZZ_SOURCES_result_codes  KEVORevoke/RevokeTexts.cpp serviceapi/ServiceApiCodes.cpp)
set(KEVO_FUZZ_SOURCES_text_buffer   common/textbuffer/TextBuffer.cpp common/textbuffer/TextCodePagePosix.cpp)
set(KEVO_FUZZ_SOURCES_base64        common/textbuffer/TextBuffer.cpp common/textbuffer/TextCodePagePosix.cpp)
set(KEVO_FUZZ_SOURCES_stream_data   common/counter/RevokeStreamData.cpp)
set(KEVO_FUZZ_SOURCES_pe_machine    common/javaruntime/PeMachine.cpp)
set(KEVO_FUZZ_SOURCES_xml_escape    KEVORevoke/KEVORevokeXmlText.cpp common/textbuffer/TextBuffer.cpp
                                    common/textbuffer/TextCodePagePosix.cpp)
