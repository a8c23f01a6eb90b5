#include "image/decoder.h"

#include "core/platform.h"
#include "core/registry.h"

namespace {

struct DecoderTable {
    int32_t count;
    DecoderDescriptor* entries[DECODER_TABLE_CAPACITY];
};

DecoderTable table;
DecoderContext* context;

} // namespace

int32_t DecoderRegistryInit() {
    table.count = 0;
    context = static_cast<DecoderContext*>(
        StateRecordCreate(static_cast<int32_t>(sizeof(DecoderContext)), nullptr, nullptr));
    return context ? 1 : 0;
}

void DecoderRegistryShutdown() {
    DecoderClose();
    PrivateHeapFree(context);
    context = nullptr;
    table.count = 0;
}

int32_t DecoderRegister(DecoderDescriptor* descriptor) {
    if (!descriptor || table.count >= DECODER_TABLE_CAPACITY)
        return 0;
    table.entries[table.count++] = descriptor;
    return 1;
}

DecoderContext* DecoderContextGet() {
    return static_cast<DecoderContext*>(StateRecordGet(context));
}

int32_t DecoderCount() { return table.count; }

DecoderDescriptor* DecoderAt(int32_t index) {
    if (index < 0 || index >= table.count)
        return nullptr;
    return table.entries[index];
}

DecoderDescriptor* DecoderFind() {
    DecoderContext* ctx = DecoderContextGet();
    if (!ctx)
        return nullptr;
    for (int32_t i = 0; i < table.count; i++) {
        DecoderDescriptor* d = table.entries[i];
        if (d->check && d->check(ctx)) {
            ctx->decoder = d;
            return d;
        }
    }
    return nullptr;
}

void DecoderClose() {
    DecoderContext* ctx = DecoderContextGet();
    if (!ctx)
        return;
    if (ctx->decoder && ctx->decoder->cleanup)
        ctx->decoder->cleanup(ctx);
    ctx->decoder = nullptr;
    // A stream closed twice is undefined behaviour in the runtime library, so the context lets
    // go of it here.
    if (!ctx->inMemory && ctx->file) {
        std::fclose(ctx->file);
        ctx->file = nullptr;
    }
}
