vexa_add_fuzzer(fuzz_sel_entry ${CMAKE_CURRENT_LIST_DIR}/SelEntryFuzz.cpp vexa_servers)
