# Tests of the online counter client and the testbed counter.
set(KEVO_COUNTER_SRC ${CMAKE_SOURCE_DIR}/common/counter)

# Pure parts: the serialised body and the reading of the server clock.
kevo_add_gtest(counter_wire_test
  SOURCES CounterWireTest.cpp ${KEVO_COUNTER_SRC}/RevokeStreamData.cpp ${KEVO_COUNTER_SRC}/ServerDateFilter.cpp)
target_include_directories(counter_wire_test PRIVATE ${KEVO_COUNTER_SRC})


# The client as a program: one operation per run with the settings of the
# registry and the settings file.
add_executable(counter_probe CounterProbe.cpp)
target_link_libraries(counter_probe PRIVATE kevo_wininet_seam kevorevoke_core)
if(MINGW)
  target_link_options(counter_probe PRIVATE -municode)
endif()

# The probe against the testbed counter, its TLS listeners and proxies.
if(NOT KEVO_SOFTCARD_DIR)
  set(KEVO_SOFTCARD_DIR ${CMAKE_BINARY_DIR}/softcard)
endif()
set(counter_fixtures testbed)
if(TARGET kevo_softcard)
  list(APPEND counter_fixtures softcard)
  set(counter_depends kevo_softcard)
endif()
math(EXPR KEVO_TESTBED_PORT_BASE_CLOSED "${KEVO_TESTBED_PORT_BASE} + 9")
kevo_add_gtest(counter_http_test
  SOURCES CounterHttpTest.cpp
  DEPENDS counter_probe ${counter_depends}
  TIMEOUT 900)
set_tests_properties(counter_http_test PROPERTIES FIXTURES_REQUIRED "${counter_fixtures}")
target_compile_definitions(counter_http_test PRIVATE
  KEVO_COUNTER_PROBE="$<TARGET_FILE:counter_probe>"
  KEVO_SOFTCARD_CERT="${KEVO_SOFTCARD_DIR}/KEVOSoftCard.cer"
  KEVO_TESTBED_PORT_BASE_CLOSED=${KEVO_TESTBED_PORT_BASE_CLOSED})
