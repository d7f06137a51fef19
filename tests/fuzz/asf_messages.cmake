vexa_add_fuzzer(fuzz_asf_messages ${CMAKE_CURRENT_LIST_DIR}/AsfMessagesFuzz.cpp vexa_asf)
