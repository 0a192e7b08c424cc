# Tests of the online counter client and the testbed counter.
set(KEVO_COUNTER_SRC ${CMAKE_SOURCE_DIR}/KEVORevoke)

# Pure parts: the serialised body and the reading of the server clock.
kevo_add_gtest(counter_wire_test
  SOURCES CounterWireTest.cpp ${KEVO_COUNTER_SRC}/RevokeStreamData.cpp ${KEVO_COUNTER_SRC}/ServerDateFilter.cpp)
target_include_directories(counter_wire_test PRIVATE ${KEVO_COUNTER_SRC})

# The testbed counter's verifier against requests signed with openssl.
find_program(KEVO_PYTHON3 python3)
if(KEVO_PYTHON3)
  add_test(NAME counter_verifier_test COMMAND ${KEVO_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/CounterVerifierTest.py)
  set_tests_properties(counter_verifier_test PROPERTIES TIMEOUT 120)
endif()
