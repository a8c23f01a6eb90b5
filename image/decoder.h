// Image file formats plug in as decoders: each is a descriptor of three callbacks, appended at
// start-up to a process-wide table that keeps registration order. A loader puts its source
// into the one process-wide context, offers it to the decoders in turn, creates an image of the
// size and depth the accepting decoder reports, lets it decode, and closes the source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct DecoderContext;

// Non-zero when the decoder accepts the source; on acceptance it has filled in width, height,
// depth and source depth and kept what decode needs, on refusal it has released what it took.
typedef int32_t (*DecoderCheckCallback)(DecoderContext* context);
// Writes the picture so that destination row r starts at destination + r * pitch, row 0 being
// the top of the picture. The fourth value is reserved for decoders that need one.
typedef int32_t (*DecoderDecodeCallback)(DecoderContext* context, uint8_t* destination,
                                         int32_t pitch, int32_t reserved);
// Releases what check kept; non-zero when something was released.
typedef int32_t (*DecoderCleanupCallback)(DecoderContext* context);

struct DecoderDescriptor {
    DecoderCheckCallback check;
    DecoderDecodeCallback decode;
    DecoderCleanupCallback cleanup;
};

constexpr int32_t DECODER_TABLE_CAPACITY = 30;

// Start-up: empties the table and creates the zeroed context on the private heap. Returns 1,
// or 0 when the heap refused the context.
int32_t DecoderRegistryInit();
// Shutdown: closes what the context still holds, gives the context back and empties the
// table; until the next start-up there is no context and no decoder.
void DecoderRegistryShutdown();
// Appends a descriptor. Returns 1, or 0 when the table already holds its 30 entries (the
// descriptor is then not registered) or the descriptor is null.
int32_t DecoderRegister(DecoderDescriptor* descriptor);

// For a loader: the context, the registered decoders in registration order, and the search that
// stores the first accepting decoder in the context (null when none accepts).
DecoderContext* DecoderContextGet();
int32_t DecoderCount();
DecoderDescriptor* DecoderAt(int32_t index);
DecoderDescriptor* DecoderFind();

// Calls the accepting decoder's cleanup, then closes the file source. Both are forgotten by the
// context afterwards, so a second close does nothing.
void DecoderClose();

// One per process, reused for every source. The fields up to sourceDepth keep their order and
// widths on the 32-bit target; the sizes come after them.
struct DecoderContext {
    DecoderDescriptor* decoder; // set by the loader: the decoder that accepted the source
    FILE* file;                 // set by the loader: the source when inMemory is 0
    const uint8_t* memory;      // set by the loader: the source when inMemory is non-zero
    int32_t inMemory;           // set by the loader
    int32_t width;              // set by check: pixels
    int32_t height;             // set by check: as stored, negative for top-down pictures
    int32_t depth;              // set by check: bits per pixel of the image to create
    void* decoderBuffer;        // set by check: heap block the decoder owns, or null
    const uint8_t* decoderData; // set by check: where decode finds the source bytes
    int32_t sourceDepth;        // set by check: bits per pixel as stored
    size_t memorySize;          // set by the loader: bytes at memory; a memory source has no end
                                // marker of its own, so 0 means an empty source
    size_t dataSize;            // set by check: bytes at decoderData that decode may read
};

#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(DecoderContext, inMemory) == 12, "context fields in their documented order");
static_assert(offsetof(DecoderContext, decoderBuffer) == 28, "context fields in their order");
static_assert(offsetof(DecoderContext, sourceDepth) == 36, "context fields in their order");
static_assert(offsetof(DecoderContext, memorySize) == 40, "sizes follow the documented fields");
static_assert(sizeof(DecoderContext) == 48, "context size on the 32-bit target");
#endif
