vexa_add_fuzzer(fuzz_fru_data ${CMAKE_CURRENT_LIST_DIR}/FruDataFuzz.cpp vexa_servers)
