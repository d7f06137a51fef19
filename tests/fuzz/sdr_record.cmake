vexa_add_fuzzer(fuzz_sdr_record ${CMAKE_CURRENT_LIST_DIR}/SdrRecordFuzz.cpp vexa_servers)
