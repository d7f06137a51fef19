vexa_add_fuzzer(fuzz_reply_path ${CMAKE_CURRENT_LIST_DIR}/ReplyPathFuzz.cpp vexa_transport)
