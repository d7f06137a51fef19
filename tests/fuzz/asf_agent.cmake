vexa_add_fuzzer(fuzz_asf_agent ${CMAKE_CURRENT_LIST_DIR}/AsfAgentFuzz.cpp vexa_asfsim)
