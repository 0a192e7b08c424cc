# Online counter client: common/counter, shared with the diagnostics program.
list(APPEND KEVOREVOKE_CORE_LIBS kevo_counter_client)
