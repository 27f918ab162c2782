// The engines of the writing pass on a thread of their own: the bytes a
// checksum's or digest's span takes are copied into blocks, which the thread
// feeds to the value's engine (and writes to a digest's message file) in
// order, while the run's thread places and writes the files. A value is
// taken only after every byte given so far went through its engine.
#pragma once
#include <cstddef>
#include <cstdint>

#include "memory/values.h"

namespace khex {

// Starts the thread when a value takes bytes in the writing pass (a checksum
// the pre-passes did not work out, every digest).
void start_span_hasher(ValueState& values);

// n bytes of v's span, after those given before.
void hash_span_bytes(SpanHasher& hasher, Value& v, const uint8_t* bytes, size_t n);

// Waits until every byte given so far is through its engine; nothing to do
// without a thread.
void drain_span_hasher(ValueState& values);

// Ends the thread, also at a run's end after a fatal error (the bytes still
// queued are dropped).
void stop_span_hasher(ValueState& values);

}  // namespace khex
