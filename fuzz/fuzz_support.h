// fuzz/fuzz_support.h -- what every fuzz target checks after a run: nothing left open or
// allocated, nothing written through a read-only handle, and for a finished conversion a
// database the book reader accepts (a defined result code is isDefinedResult, shared
// with the tests). A broken promise prints what broke and aborts, so libFuzzer keeps the
// input and the replay test fails.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/memory_io.h"

// Prints `what` and aborts when `condition` is false.
void fuzzCheck(bool condition, const char* what);

// No open handle, no live block, no bad close or free, no write to a read-only handle.
void checkNothingHeld(const MemoryIo& memory);

// Opens `name` in `memory` as an e-book database: the book reader must accept it and
// decode exactly as many bytes as record 0 records; the decoded text goes to `text`.
// Every run of document records named by record 0 must lie inside the record list.
void checkBook(MemoryIo& memory, const std::string& name, std::vector<uint8_t>& text);

// Bytes of [data, data + size) split at every kPageSeparator.
inline constexpr char kPageSeparator[] = "\n#PAGE#\n";
std::vector<std::string> splitPages(const uint8_t* data, size_t size);
