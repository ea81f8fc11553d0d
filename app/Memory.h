// The allocator for every text and byte block of the program.
#pragma once

#include <cstddef>

// Fresh bytes from the process heap; never null. When the heap cannot satisfy
// the request the program ends through FatalError.
void* AllocateMemory(std::size_t size);

// Gives the bytes back to the heap. Null and the program's own constant data
// (its literal texts and its constant empty byte block) are ignored, so any
// text or byte block may be released without asking where it came from.
void FreeMemory(const void* address);

// Whether the address lies in the program image's read-only data.
bool IsConstantData(const void* address);
