vexa_add_fuzzer(fuzz_hive_file ${CMAKE_CURRENT_SOURCE_DIR}/HiveFile_fuzz.cpp vexa_platform)
